#pragma once

#include "app/ImportRun.h"
#include "app/RunRecord.h"

#include <QObject>
#include <functional>
#include <optional>

class QAction;
class QPushButton;
class QWidget;

namespace zarn {

class Workspace;

// The window's "Preview" and "Last import report", which leave its layout as it is: both are in
// the context menu of the "Import" button and have the keyboard shortcuts Ctrl+P and Ctrl+R.
// Each opens a read-only dialog over the window.
class PreviewActions : public QObject
{
    Q_OBJECT

public:
    // choices gives what the controls show; busy tells whether an import is running, during
    // which neither action runs.
    PreviewActions(QWidget &window, QPushButton &importButton, Workspace &workspace,
                   std::function<ImportChoices()> choices, std::function<bool()> busy);

    // Keeps the report of the import run that has just ended, for "Last import report".
    void setLastReport(RunRecord report);

    QAction &previewAction() const { return *m_preview; }
    QAction &reportAction() const { return *m_report; }

private:
    void showPreview();
    void showLastReport();
    void openDialog(const RunRecord &record);

    QWidget &m_window;
    Workspace &m_workspace;
    std::function<ImportChoices()> m_choices;
    std::function<bool()> m_busy;
    QAction *m_preview;
    QAction *m_report;
    std::optional<RunRecord> m_lastReport;
};

} // namespace zarn
