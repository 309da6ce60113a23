#include "app/window/QtUserInterface.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
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

// The program names no help file, so "Help" is offered but leaves the box open; only "OK"
// closes it.
void addHelpButton(QMessageBox &box)
{
    QPushButton *help = box.addButton(QMessageBox::Help);
    QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
}

} // namespace

QtUserInterface::QtUserInterface(QWidget &window, QProgressBar &progressBar)
    : m_window(window), m_progressBar(progressBar)
{}

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
    box.exec();
}

void QtUserInterface::setProgressMax(int max)
{
    m_progressBar.setMaximum(max);
}

void QtUserInterface::setProgressValue(int value)
{
    m_progressBar.setValue(value);
}

void QtUserInterface::setProgressVisible(bool visible)
{
    m_progressBar.setVisible(visible);
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
