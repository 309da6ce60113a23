#include "app/window/PreviewActions.h"

#include "app/RecordedRuns.h"
#include "app/Workspace.h"
#include "app/window/RunRecordDialog.h"

#include <QAction>
#include <QPushButton>

namespace zarn {

PreviewActions::PreviewActions(QWidget &window, QPushButton &importButton, Workspace &workspace,
                               std::function<ImportChoices()> choices, std::function<bool()> busy)
    : QObject(&window), m_window(window), m_workspace(workspace), m_choices(std::move(choices)),
      m_busy(std::move(busy)), m_preview(new QAction(QStringLiteral("Preview"), &window)),
      m_report(new QAction(QStringLiteral("Last import report"), &window)),
      m_verify(new QAction(QStringLiteral("Verify"), &window))
{
    m_preview->setObjectName(QStringLiteral("actPreview"));
    m_preview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_report->setObjectName(QStringLiteral("actLastReport"));
    m_report->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_report->setEnabled(false);
    m_verify->setObjectName(QStringLiteral("actVerify"));
    m_verify->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    for (QAction *action : {m_preview, m_report, m_verify}) {
        window.addAction(action); // the shortcuts work wherever the focus is in the window
        importButton.addAction(action);
    }
    importButton.setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_preview, &QAction::triggered, this, &PreviewActions::showPreview);
    connect(m_report, &QAction::triggered, this, &PreviewActions::showLastReport);
}

void PreviewActions::setLastReport(RunRecord report)
{
    m_lastReport = std::move(report);
    m_report->setEnabled(true);
}

void PreviewActions::showPreview()
{
    if (m_busy())
        return;
    const std::optional<RunRecord> record =
        previewImport(m_workspace, m_workspace.ui(), m_choices());
    if (record)
        showRecord(*record);
}

void PreviewActions::showLastReport()
{
    if (m_lastReport)
        showRecord(*m_lastReport);
}

void PreviewActions::showRecord(const RunRecord &record)
{
    auto *dialog = new RunRecordDialog(record, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

} // namespace zarn
