#include "app/window/QtUserInterface.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>

namespace zarn {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The README's configuration section, compiled in from README.md at build time.
QString configurationHelp()
{
    QFile file(QStringLiteral(":/help/configuration.md"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

// "Help" shows how the configuration file is written in a box of its own and leaves the
// settings box open; only "OK", Esc or the close button close that.
void addHelpButton(QMessageBox &box)
{
    QPushButton *help = box.addButton(QMessageBox::Help);
    QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::connect(help, &QAbstractButton::clicked, &box, [&box] {
        QMessageBox text(QMessageBox::Information, QStringLiteral("Configuration"),
                         configurationHelp(), QMessageBox::Ok, &box);
        text.setTextFormat(Qt::MarkdownText);
        text.exec();
    });
}

// A box that waits for the operator shows the normal arrow over an hourglass run, and gives
// the hourglass back when it closes.
class ArrowWhileWaiting
{
public:
    explicit ArrowWhileWaiting(bool overHourglass) : m_active(overHourglass)
    {
        if (m_active)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileWaiting()
    {
        if (m_active)
            QApplication::restoreOverrideCursor();
    }
    ArrowWhileWaiting(const ArrowWhileWaiting &) = delete;
    ArrowWhileWaiting &operator=(const ArrowWhileWaiting &) = delete;

private:
    bool m_active;
};

} // namespace

QtUserInterface::QtUserInterface(QWidget &window) : m_window(window) {}

QtUserInterface::~QtUserInterface()
{
    setMousePointer(MousePointer::Default);
}

void QtUserInterface::showMessage(const Message &message)
{
    // Before the window is shown (start-up) the box stands on its own.
    // Texts break lines with a carriage return and a line feed; a label wants the line feed.
    QMessageBox box(boxIcon(message.icon),
                    message.title.isEmpty() ? applicationTitle() : message.title,
                    QString(message.text).replace(QLatin1String("\r\n"), QLatin1String("\n")),
                    QMessageBox::Ok, m_window.isVisible() ? &m_window : nullptr);
    box.setTextFormat(Qt::PlainText);
    if (message.buttons == MessageButtons::OkHelp)
        addHelpButton(box);
    box.setDefaultButton(QMessageBox::Ok);
    // Esc and the close button answer as "OK" does.
    box.setEscapeButton(QMessageBox::Ok);
    const ArrowWhileWaiting arrow(m_pointer == MousePointer::Hourglass);
    box.exec();
}

void QtUserInterface::setMousePointer(MousePointer pointer)
{
    if (pointer == m_pointer)
        return;
    if (pointer == MousePointer::Hourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    m_pointer = pointer;
}

void QtUserInterface::processEvents()
{
    QApplication::processEvents();
}

} // namespace zarn
