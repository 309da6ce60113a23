#pragma once

#include "app/ImportRun.h"
#include "app/Workspace.h"
#include "app/window/ImportProgress.h"
#include "app/window/TwipsLayout.h"
#include "platform/UserInterface.h"

#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zarn {

class HelpDialog;
class PreviewActions;
class QtUserInterface;

// The program's one window. Its controls carry their names as Qt object names.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    // The window with its own Qt user interface.
    explicit frmMain(QWidget *parent = nullptr);
    // The window reporting through the given user interface instead (the tests' recorder).
    explicit frmMain(UserInterface &ui, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs start-up with the configuration file at iniPath, fills the lists and shows the
    // window. False, with the window never shown, when start-up failed and the program must
    // end (the operator has been told why).
    bool start(const IniFile &ini);

    const Workspace &workspace() const { return *m_workspace; }

protected:
    // Closing the window closes the source, then the root connection. During an import the
    // operator is asked whether the data import is to stop first; the window stays open until
    // the import has ended, and closes then.
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    frmMain(UserInterface *ui, QWidget *parent);
    void createControls();
    template <typename Control>
    Control *place(Control *control, const char *name, const Twips &twips, WidthShare share = {});
    void askToCloseDuringImport();
    void createButtonRow();
    void updateButtons();
    void showHelp();
    void setTabOrderOfTable();
    void fillLists();
    // The click on "Import": one import run on the choices the controls show.
    void importClicked();
    // The click on "Verify": the verification of the import that the controls' choices make.
    void verifyClicked();
    // Runs an import or a verification with the window's buttons greyed and its progress line;
    // a close asked for meanwhile happens after it.
    template <typename Run> void runShowingProgress(ImportProgress::Run kind, Run &&run);
    ImportChoices currentChoices() const;
    // "Import" and "Exit" are refused while an import runs, since the import lets window
    // events run: a second run would start inside the first, and Exit would close the
    // connections under it.
    void setImporting(bool importing);

    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *cboSource = nullptr;
    QComboBox *cboSiteID = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cboFacility = nullptr;
    QComboBox *cboFileName = nullptr;
    QGroupBox *Frame3 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtStartDate = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtEndDate = nullptr;
    QGroupBox *Frame4 = nullptr;
    QCheckBox *chkVars = nullptr;
    QCheckBox *chkData = nullptr;
    QPushButton *btnImport = nullptr;
    QPushButton *btnCancel = nullptr;
    QProgressBar *pbInsert = nullptr;
    QLabel *lblProgress = nullptr; // under the bar: readings done, rate, time left
    QPushButton *btnStop = nullptr;
    QPushButton *btnHelp = nullptr;
    QPushButton *btnPreview = nullptr;
    QPushButton *btnVerify = nullptr;
    QPushButton *btnLastReport = nullptr;
    HelpDialog *m_help = nullptr; // owned by the window, made when first asked for

    std::unique_ptr<TwipsLayout> m_layout;
    std::unique_ptr<QtUserInterface> m_ownUi;
    std::unique_ptr<ImportProgress> m_progress;
    std::unique_ptr<Workspace> m_workspace;
    PreviewActions *m_previewActions = nullptr; // owned by the window
    bool m_importing = false;
    bool m_closeWanted = false;
};

} // namespace zarn
