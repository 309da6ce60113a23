#include "app/window/frmMain.h"

#include "app/RecordedRuns.h"
#include "app/window/PreviewActions.h"
#include "app/window/QtUserInterface.h"
#include "platform/DateTime.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace zarn {

namespace {

// A rectangle in twips (1/1440 inch), as the window's layout is given.
struct Twips
{
    int left, top, width, height;
};

// Converts twips to pixels at the screen's logical resolution: 15 twips to a pixel at 96 dpi.
class TwipsScale
{
public:
    explicit TwipsScale(const QScreen &screen)
        : m_dpiX(screen.logicalDotsPerInchX()), m_dpiY(screen.logicalDotsPerInchY())
    {}

    QRect rect(const Twips &t) const
    {
        return {pixels(t.left, m_dpiX), pixels(t.top, m_dpiY), pixels(t.width, m_dpiX),
                pixels(t.height, m_dpiY)};
    }
    QSize size(int width, int height) const
    {
        return {pixels(width, m_dpiX), pixels(height, m_dpiY)};
    }

private:
    static int pixels(int twips, double dpi) { return qRound(twips * dpi / 1440.0); }

    double m_dpiX;
    double m_dpiY;
};

template <typename Control>
Control *place(Control *control, const char *name, const TwipsScale &scale, const Twips &twips)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(scale.rect(twips));
    return control;
}

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

} // namespace

frmMain::frmMain(QWidget *parent) : frmMain(nullptr, parent) {}

frmMain::frmMain(UserInterface &ui, QWidget *parent) : frmMain(&ui, parent) {}

frmMain::frmMain(UserInterface *ui, QWidget *parent) : QWidget(parent)
{
    createControls();
    setTabOrderOfTable();
    if (ui == nullptr) {
        m_ownUi = std::make_unique<QtUserInterface>(*this, *pbInsert);
        ui = m_ownUi.get();
    }
    m_workspace = std::make_unique<Workspace>(*ui);
    connect(btnImport, &QPushButton::clicked, this, &frmMain::importClicked);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    m_previewActions = new PreviewActions(
        *this, *btnImport, *m_workspace, [this] { return currentChoices(); },
        [this] { return m_importing; });
    // Enter presses the focused button, as it does in a dialog.
    btnImport->setAutoDefault(true);
    btnCancel->setAutoDefault(true);
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
        m_closeWanted = true;
        event->ignore();
        return;
    }
    m_workspace->Close();
    event->accept();
}

void frmMain::importClicked()
{
    const ImportChoices choices = currentChoices();
    setImporting(true);
    m_previewActions->setLastReport(recordedImport(*m_workspace, m_workspace->ui(), choices));
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
    btnImport->setEnabled(!importing);
    btnCancel->setEnabled(!importing);
}

void frmMain::createControls()
{
    const TwipsScale scale(*screen());
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("ZARN Vantrel Import Tool"));
    setFixedSize(scale.size(9045, 3105));
    // The layout's twips were measured for an 8-point font; a larger one would not fit them.
    QFont eightPoint = font();
    eightPoint.setPointSize(8);
    setFont(eightPoint);

    Frame1 = place(new QGroupBox(QStringLiteral("Choose Databases"), this), "Frame1", scale,
                   {240, 165, 5010, 1860});
    Label1 = place(label(QStringLiteral("Vantrel Site:"), Frame1), "Label1", scale,
                   {135, 540, 1230, 420});
    cboSource = place(pickList(Frame1), "cboSource", scale, {1350, 540, 3390, 315});
    cboSiteID = place(pickList(Frame1), "cboSiteID", scale, {4320, 270, 330, 315});
    Label2 = place(label(QStringLiteral("ZARN Facility:"), Frame1), "Label2", scale,
                   {135, 1215, 1230, 285});
    cboFacility = place(pickList(Frame1), "cboFacility", scale, {1350, 1215, 3390, 315});
    cboFileName = place(pickList(Frame1), "cboFileName", scale, {4410, 540, 330, 315});

    Frame3 = place(new QGroupBox(QStringLiteral("Date Range"), this), "Frame3", scale,
                   {5535, 135, 3255, 1230});
    Label3 =
        place(label(QStringLiteral("Start Date:"), Frame3), "Label3", scale, {135, 405, 1095, 285});
    txtStartDate = place(new QLineEdit(Frame3), "txtStartDate", scale, {1350, 405, 1500, 285});
    Label4 =
        place(label(QStringLiteral("End Date:"), Frame3), "Label4", scale, {135, 810, 1095, 285});
    txtEndDate = place(new QLineEdit(Frame3), "txtEndDate", scale, {1350, 810, 1500, 285});

    Frame4 = place(new QGroupBox(QStringLiteral("Import Selection"), this), "Frame4", scale,
                   {5535, 1620, 1770, 1230});
    chkVars = place(new QCheckBox(QStringLiteral("Variables"), Frame4), "chkVars", scale,
                    {135, 405, 1230, 285});
    chkData = place(new QCheckBox(QStringLiteral("Data"), Frame4), "chkData", scale,
                    {135, 810, 1500, 285});

    btnImport = place(new QPushButton(QStringLiteral("Import"), this), "btnImport", scale,
                      {7560, 1755, 1230, 420});
    btnCancel = place(new QPushButton(QStringLiteral("Exit"), this), "btnCancel", scale,
                      {7560, 2430, 1230, 420});
    pbInsert = place(new QProgressBar(this), "pbInsert", scale, {270, 2430, 5010, 420});
    pbInsert->setTextVisible(false);

    for (QLineEdit *dateBox : {txtStartDate, txtEndDate}) {
        dateBox->setPlaceholderText(DateTime::typedFormExample());
        dateBox->setToolTip(DateTime::typedFormsHint());
    }

    cboSiteID->hide();
    cboFileName->hide();
    pbInsert->hide();
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
