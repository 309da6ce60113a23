#include "support/ServerContext.h"

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

} // namespace zarn::test
