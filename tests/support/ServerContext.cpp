#include "support/ServerContext.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <atomic>

namespace zarn::test {

void ServerContext::runOwnScript(dal::Connection &connection, const DialectTexts &scripts) const
{
    connection.provider().executeScript(ownText(scripts));
}

void ServerContext::createProcedure(dal::Connection &connection, const QString & /*name*/,
                                    const DialectTexts &definitions) const
{
    runOwnScript(connection, definitions);
}

QString uniqueDatabaseName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("zarn_scratch_%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace zarn::test
