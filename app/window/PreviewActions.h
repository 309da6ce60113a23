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

// The window's "Preview", "Last import report" and "Verify": in the context menu of the
// "Import" button, with the keyboard shortcuts Ctrl+P, Ctrl+R and Ctrl+Shift+V. Each opens a
// read-only dialog over the window. The window runs a verification itself, as it runs an
// import (verifyAction() is its to connect), and shows the outcome with showRecord().
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
    QAction &verifyAction() const { return *m_verify; }

    void showRecord(const RunRecord &record);

private:
    void showPreview();
    void showLastReport();

    QWidget &m_window;
    Workspace &m_workspace;
    std::function<ImportChoices()> m_choices;
    std::function<bool()> m_busy;
    QAction *m_preview;
    QAction *m_report;
    QAction *m_verify;
    std::optional<RunRecord> m_lastReport;
};

} // namespace zarn
