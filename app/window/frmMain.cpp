#include "app/window/frmMain.h"

#include "app/RecordedRuns.h"
#include "app/window/HelpDialog.h"
#include "app/window/ImportProgress.h"
#include "app/window/PreviewActions.h"
#include "app/window/QtUserInterface.h"
#include "app/window/TwipsLayout.h"
#include "platform/DateTime.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <optional>

namespace zarn {

namespace {

QLabel *label(const QString &caption, QWidget *container)
{
    auto *result = new QLabel(caption, container);
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return result;
}

QComboBox *pickList(QWidget *container)
{
    auto *result = new QComboBox(container);
    result->setEditable(false);
    return result;
}

// Fills a visible list and its hidden twin at the same positions, then leaves both with no
// choice made, so the operator must pick.
void fill(QComboBox &visible, QComboBox &twin, const std::vector<ListEntry> &entries)
{
    for (const ListEntry &entry : entries) {
        visible.addItem(entry.name);
        twin.addItem(entry.key);
    }
    visible.setCurrentIndex(-1);
    twin.setCurrentIndex(-1);
}

// A button in sight for an action that has a key: a click runs the action, and the tool tip
// names the key.
QPushButton *buttonFor(QAction &action, const char *name)
{
    auto *button = new QPushButton(action.text());
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QStringLiteral("%1 (%2)").arg(
        action.text(), action.shortcut().toString(QKeySequence::NativeText)));
    QObject::connect(button, &QPushButton::clicked, &action, &QAction::trigger);
    return button;
}

} // namespace

frmMain::frmMain(QWidget *parent) : frmMain(nullptr, parent) {}

frmMain::frmMain(UserInterface &ui, QWidget *parent) : frmMain(&ui, parent) {}

frmMain::frmMain(UserInterface *ui, QWidget *parent)
    : QWidget(parent), m_layout(std::make_unique<TwipsLayout>(*screen()))
{
    createControls();
    setTabOrderOfTable();
    if (ui == nullptr) {
        m_ownUi = std::make_unique<QtUserInterface>(*this);
        ui = m_ownUi.get();
    }
    m_progress = std::make_unique<ImportProgress>(*ui, *pbInsert, *lblProgress, *btnStop);
    m_workspace = std::make_unique<Workspace>(*m_progress);
    connect(btnImport, &QPushButton::clicked, this, &frmMain::importClicked);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    m_previewActions = new PreviewActions(
        *this, *btnImport, *m_workspace, [this] { return currentChoices(); },
        [this] { return m_importing; });
    createButtonRow();
    // Enter presses the focused button, as it does in a dialog.
    for (QPushButton *button :
         {btnImport, btnCancel, btnStop, btnHelp, btnPreview, btnVerify, btnLastReport})
        button->setAutoDefault(true);
    updateButtons();
}

frmMain::~frmMain() = default;

bool frmMain::start(const IniFile &ini)
{
    if (!m_workspace->Start(ini))
        return false;
    fillLists();
    show();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_importing) {
        event->ignore();
        askToCloseDuringImport();
        return;
    }
    m_workspace->Close();
    event->accept();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_layout->widen(width() - minimumWidth());
}

// The import lets window events run, so a close comes while it writes. The window closes once
// the run has ended; the operator decides whether the data import stops first.
void frmMain::askToCloseDuringImport()
{
    QMessageBox question(QMessageBox::Question, applicationTitle(),
                         QStringLiteral("%1 is running.\n\n\"Stop and close\" stops the %2. "
                                        "\"Close when it ends\" lets it run to its end.")
                             .arg(m_progress->currentRun() == ImportProgress::Run::Import
                                      ? QStringLiteral("An import")
                                      : QStringLiteral("A verification"),
                                  m_progress->stopEffect()),
                         QMessageBox::NoButton, this);
    question.setObjectName(QStringLiteral("closeQuestion"));
    QPushButton *stop =
        question.addButton(QStringLiteral("Stop and close"), QMessageBox::DestructiveRole);
    QPushButton *whenDone =
        question.addButton(QStringLiteral("Close when it ends"), QMessageBox::AcceptRole);
    QPushButton *keepOpen =
        question.addButton(QStringLiteral("Keep open"), QMessageBox::RejectRole);
    question.setDefaultButton(keepOpen);
    question.setEscapeButton(keepOpen);
    question.exec();
    if (question.clickedButton() == stop)
        m_progress->requestStop();
    m_closeWanted = question.clickedButton() == stop || question.clickedButton() == whenDone;
}

void frmMain::importClicked()
{
    const ImportChoices choices = currentChoices();
    runShowingProgress(ImportProgress::Run::Import, [&] {
        m_previewActions->setLastReport(recordedImport(*m_workspace, *m_progress, choices));
    });
}

// A verification reads for as long as an import writes, with the same progress line and Stop.
void frmMain::verifyClicked()
{
    if (m_importing)
        return;
    const ImportChoices choices = currentChoices();
    std::optional<RunRecord> record;
    runShowingProgress(ImportProgress::Run::Verification,
                       [&] { record = verifyImport(*m_workspace, *m_progress, choices); });
    if (record && !m_closeWanted)
        m_previewActions->showRecord(*record);
}

template <typename Run> void frmMain::runShowingProgress(ImportProgress::Run kind, Run &&run)
{
    setImporting(true);
    m_progress->beginRun(kind);
    run();
    m_progress->endRun();
    setImporting(false);
    if (m_closeWanted)
        close();
}

ImportChoices frmMain::currentChoices() const
{
    ImportChoices choices;
    choices.siteName = cboSource->currentText();
    choices.sitePosition = cboSource->currentIndex();
    choices.facilityName = cboFacility->currentText();
    choices.facilityPosition = cboFacility->currentIndex();
    // A partly checked box counts as not ticked.
    choices.variables = chkVars->checkState() == Qt::Checked;
    choices.data = chkData->checkState() == Qt::Checked;
    choices.startDate = txtStartDate->text();
    choices.endDate = txtEndDate->text();
    return choices;
}

void frmMain::setImporting(bool importing)
{
    m_importing = importing;
    updateButtons();
}

// While an import runs, only Help and Stop take clicks.
void frmMain::updateButtons()
{
    btnImport->setEnabled(!m_importing);
    btnCancel->setEnabled(!m_importing);
    btnPreview->setEnabled(!m_importing);
    btnVerify->setEnabled(!m_importing);
    btnLastReport->setEnabled(!m_importing && m_previewActions->reportAction().isEnabled());
}

// Under the progress's status line: Help on the left; Preview, Verify and the last import's
// report on the right, each with its key.
void frmMain::createButtonRow()
{
    auto *help = new QAction(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("actHelp"));
    help->setShortcut(QKeySequence::HelpContents);
    addAction(help);
    connect(help, &QAction::triggered, this, &frmMain::showHelp);
    QAction &report = m_previewActions->reportAction();
    connect(&report, &QAction::changed, this, &frmMain::updateButtons);

    auto *row = place(new QWidget(this), "buttonRow", {270, 3375, 8520, 375}, {0, 1});
    btnHelp = buttonFor(*help, "btnHelp");
    btnPreview = buttonFor(m_previewActions->previewAction(), "btnPreview");
    btnVerify = buttonFor(m_previewActions->verifyAction(), "btnVerify");
    connect(&m_previewActions->verifyAction(), &QAction::triggered, this, &frmMain::verifyClicked);
    btnLastReport = buttonFor(report, "btnLastReport");
    auto *buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(btnHelp);
    buttons->addStretch(1);
    buttons->addWidget(btnPreview);
    buttons->addWidget(btnVerify);
    buttons->addWidget(btnLastReport);
    setTabOrder(cboFacility, btnHelp);
    setTabOrder(btnHelp, btnPreview);
    setTabOrder(btnPreview, btnVerify);
    setTabOrder(btnVerify, btnLastReport);
}

void frmMain::showHelp()
{
    if (m_help == nullptr)
        m_help = new HelpDialog(this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

// The layout's controls at their twips, then the additions below the progress bar: the status
// line and "Stop". As the window grows wider, the lists, the date boxes, the bar and the status
// line grow, and what stands right of them moves along.
void frmMain::createControls()
{
    const TwipsLayout &layout = *m_layout;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("ZARN Vantrel Import Tool"));
    const QSize firstSize = layout.size(9045, 3870);
    resize(firstSize);
    setMinimumSize(firstSize);
    setMaximumHeight(firstSize.height());
    // The layout's twips were measured for an 8-point font; a larger one would not fit them.
    QFont eightPoint = font();
    eightPoint.setPointSize(8);
    setFont(eightPoint);

    const WidthShare half{0, 0.5};
    const WidthShare moveHalfGrowHalf{0.5, 0.5};
    const WidthShare moveHalf{0.5, 0};
    const WidthShare moveAll{1, 0};

    Frame1 = place(new QGroupBox(QStringLiteral("Choose Databases"), this), "Frame1",
                   {240, 165, 5010, 1860}, half);
    Label1 = place(label(QStringLiteral("Vantrel Site:"), Frame1), "Label1", {135, 540, 1230, 420});
    cboSource = place(pickList(Frame1), "cboSource", {1350, 540, 3390, 315}, half);
    cboSiteID = place(pickList(Frame1), "cboSiteID", {4320, 270, 330, 315});
    Label2 =
        place(label(QStringLiteral("ZARN Facility:"), Frame1), "Label2", {135, 1215, 1230, 285});
    cboFacility = place(pickList(Frame1), "cboFacility", {1350, 1215, 3390, 315}, half);
    cboFileName = place(pickList(Frame1), "cboFileName", {4410, 540, 330, 315});

    Frame3 = place(new QGroupBox(QStringLiteral("Date Range"), this), "Frame3",
                   {5535, 135, 3255, 1230}, moveHalfGrowHalf);
    Label3 = place(label(QStringLiteral("Start Date:"), Frame3), "Label3", {135, 405, 1095, 285});
    txtStartDate = place(new QLineEdit(Frame3), "txtStartDate", {1350, 405, 1500, 285}, half);
    Label4 = place(label(QStringLiteral("End Date:"), Frame3), "Label4", {135, 810, 1095, 285});
    txtEndDate = place(new QLineEdit(Frame3), "txtEndDate", {1350, 810, 1500, 285}, half);

    Frame4 = place(new QGroupBox(QStringLiteral("Import Selection"), this), "Frame4",
                   {5535, 1620, 1770, 1230}, moveHalf);
    chkVars =
        place(new QCheckBox(QStringLiteral("Variables"), Frame4), "chkVars", {135, 405, 1230, 285});
    chkData =
        place(new QCheckBox(QStringLiteral("Data"), Frame4), "chkData", {135, 810, 1500, 285});

    btnImport = place(new QPushButton(QStringLiteral("Import"), this), "btnImport",
                      {7560, 1755, 1230, 420}, moveAll);
    btnCancel = place(new QPushButton(QStringLiteral("Exit"), this), "btnCancel",
                      {7560, 2430, 1230, 420}, moveAll);
    pbInsert = place(new QProgressBar(this), "pbInsert", {270, 2430, 5010, 420}, half);
    pbInsert->setTextVisible(false);

    lblProgress = place(new QLabel(this), "lblProgress", {270, 2895, 7155, 375}, {0, 1});
    lblProgress->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Under "Exit", which is greyed while "Stop" is there.
    btnStop = place(new QPushButton(QStringLiteral("Stop"), this), "btnStop",
                    {7560, 2895, 1230, 375}, moveAll);

    // The grey text while a box is empty is the form of a date, which no one takes for a date
    // already given; the tool tip names every form.
    for (QLineEdit *dateBox : {txtStartDate, txtEndDate}) {
        dateBox->setPlaceholderText(QStringLiteral("yyyy-mm-dd"));
        dateBox->setToolTip(DateTime::typedFormsHint());
    }

    for (QWidget *hidden : {static_cast<QWidget *>(cboSiteID), static_cast<QWidget *>(cboFileName),
                            static_cast<QWidget *>(pbInsert), static_cast<QWidget *>(lblProgress),
                            static_cast<QWidget *>(btnStop)})
        hidden->hide();
}

template <typename Control>
Control *frmMain::place(Control *control, const char *name, const Twips &twips, WidthShare share)
{
    m_layout->place(*control, name, twips, share);
    return control;
}

// The layout's tab order, of the controls that can take the focus.
void frmMain::setTabOrderOfTable()
{
    QWidget *const order[] = {btnImport, btnCancel, cboSource, txtStartDate, txtEndDate,
                              cboSiteID, chkVars,   chkData,   cboFileName,  cboFacility};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmMain::fillLists()
{
    fill(*cboFacility, *cboFileName, m_workspace->facilities());
    fill(*cboSource, *cboSiteID, m_workspace->sites());
}

} // namespace zarn
