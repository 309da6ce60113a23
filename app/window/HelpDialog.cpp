#include "app/window/HelpDialog.h"

#include "platform/UserInterface.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace zarn {

HelpDialog::HelpDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpDialog"));
    setWindowTitle(applicationTitle() + QStringLiteral(" Help"));
    auto *browser = new QTextBrowser;
    browser->setObjectName(QStringLiteral("helpText"));
    browser->setMarkdown(text());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser, 1);
    layout->addWidget(buttons);
    resize(720, 560);
}

QString HelpDialog::text()
{
    QFile file(QStringLiteral(":/help/window.md"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

} // namespace zarn
