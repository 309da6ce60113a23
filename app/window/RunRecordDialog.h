#pragma once

#include "app/RunRecord.h"

#include <QDialog>
#include <QString>

namespace zarn {

// A preview, a run report or a verification in a read-only dialog: the heading and summary
// above, one sortable table per step in tabs, and a "Copy" button that puts the whole of it on
// the clipboard as the batch mode prints it.
class RunRecordDialog : public QDialog
{
    Q_OBJECT

public:
    RunRecordDialog(const RunRecord &record, QWidget *parent = nullptr);

    // What "Copy" puts on the clipboard.
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

} // namespace zarn
