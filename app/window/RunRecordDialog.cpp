#include "app/window/RunRecordDialog.h"

#include "app/RunTables.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zarn {

namespace {

QTableWidgetItem *cell(const RunTable &table, int column, const QString &text)
{
    auto *item = new QTableWidgetItem;
    const bool numeric = std::find(table.numericColumns.begin(), table.numericColumns.end(),
                                   column) != table.numericColumns.end();
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    // A number is kept as a number, so that the column sorts by value rather than as text.
    if (numeric && isNumber) {
        item->setData(Qt::DisplayRole, number);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else {
        item->setText(text);
    }
    return item;
}

QTableWidget *tableWidget(const RunTable &table)
{
    auto *widget = new QTableWidget(int(table.rows.size()), int(table.headers.size()));
    widget->setObjectName(QStringLiteral("table") + table.title);
    widget->setHorizontalHeaderLabels(table.headers);
    widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->verticalHeader()->hide();
    for (int r = 0; r < int(table.rows.size()); ++r) {
        const QStringList &row = table.rows[std::size_t(r)];
        for (int c = 0; c < row.size() && c < table.headers.size(); ++c)
            widget->setItem(r, c, cell(table, c, row[c]));
    }
    // Sorting starts on the first column, ascending (Qt's own start is descending).
    widget->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    widget->setSortingEnabled(true);
    widget->resizeColumnsToContents();
    return widget;
}

QString titleOf(RunRecord::Kind kind)
{
    switch (kind) {
    case RunRecord::Kind::Preview:
        return QStringLiteral("Preview");
    case RunRecord::Kind::Verification:
        return QStringLiteral("Verification");
    case RunRecord::Kind::Report:
        break;
    }
    return QStringLiteral("Last import report");
}

} // namespace

RunRecordDialog::RunRecordDialog(const RunRecord &record, QWidget *parent) : QDialog(parent)
{
    const RunView view = viewOf(record);
    m_text = toText(view);
    setObjectName(QStringLiteral("RunRecordDialog"));
    setWindowTitle(titleOf(record.kind));

    auto *heading = new QLabel(view.heading);
    heading->setWordWrap(true);
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *summary = new QPlainTextEdit(view.summary.join(QLatin1Char('\n')));
    summary->setObjectName(QStringLiteral("summary"));
    summary->setReadOnly(true);
    summary->setMaximumHeight(summary->fontMetrics().lineSpacing() * 8);

    auto *tabs = new QTabWidget;
    for (const RunTable &table : view.tables)
        tabs->addTab(tableWidget(table), table.title);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("btnCopy"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_text); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(summary);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    resize(760, 480);
}

} // namespace zarn
