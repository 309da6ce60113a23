#pragma once

#include <QDialog>

namespace zarn {

// The README's sections on running an import (the window, the dates, the batch mode) and on
// the configuration file, as they were when the program was built, in a window of their own
// beside the main window.
class HelpDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HelpDialog(QWidget *parent = nullptr);

    // The help as it is shown, in Markdown.
    static QString text();
};

} // namespace zarn
