#pragma once

#include "components/ModelDocumentView.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QTranslator;

namespace zorvan {

class TCustomView;
class TMDVViewsContainer;

// The main window: File actions driving the document agent, the Service menu with the
// languages and the options, the About entry, the views container and the status bar.
class TMainFrameDlg : public QMainWindow {
    Q_OBJECT
public:
    // The link is the document data module's; without one the File actions other than Exit
    // stay disabled. It must outlive the window.
    explicit TMainFrameDlg(TMDVDocumentLink* link = nullptr, QWidget* parent = nullptr);
    ~TMainFrameDlg() override;

    TMDVAgent MDVAgent;

    // The editor view, placed into the views container and made active at the first show; set
    // by the composition root, not owned.
    void SetCnlListVisorView(TCustomView* view) { m_cnlListVisorView = view; }

    // Images of 24 by 24: 0 Open, 1 Save, 2 New, 3 Options.
    QList<QIcon> MenuImageList;

    QString StatusPanelText(int index) const;

    // Re-evaluates every action's enabling; also runs by itself while the program is idle.
    void UpdateActions();

    void actNewExecute();
    void actOpenExecute();
    void actSaveExecute();
    void actSaveAsExecute();
    void actCloseExecute();
    void actExitExecute();
    void actOptionsExecute();
    void actEnglishExecute();
    void actRussianExecute();
    void actUkrainianExecute();
    void actAboutExecute();

    void actNewUpdate();
    void actOpenUpdate();
    void actSaveUpdate();
    void actSaveAsUpdate();
    void actCloseUpdate();

    // The agent's language-update handler.
    void MDVAgentUpdateLanguage(TMDVAgent& sender);
    // The document link's modified-state handler.
    void LinkModifiedChange(TMDVDocumentLink& sender);

    // Handlers of the four geometry settings, bound at the first show: true, the window takes
    // the setting's value; false, the setting takes the window's coordinate.
    void MainFrmLeftUpdateResource(bool aUpdateResource);
    void MainFrmTopUpdateResource(bool aUpdateResource);
    void MainFrmWidthUpdateResource(bool aUpdateResource);
    void MainFrmHeightUpdateResource(bool aUpdateResource);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Returns false when the close must be cancelled.
    bool FormClose();
    void SelectLanguage(std::uint8_t primary, std::uint8_t sub);
    // The language named by CurrLanguageID; one that names no language changes nothing.
    void SelectLanguageFromOptions();
    // The geometry settings get the window's last geometry and lose their handlers, so that
    // the settings module, which outlives the window, never calls into a destroyed one.
    void UnbindGeometry();
    // The four geometry settings take the window's current coordinates.
    void TakeGeometry();

    // Hooks for the application settings:
    // the captions of the category FrameworkOptions and of the settings ViewToolBar,
    // WarningBeforeClosing and RestoreLastDocument in the current language.
    void UpdateSettingsCaptions(const TMDVLanguage& language);
    // CurrLanguageID takes the identifier of the language just chosen from the menu.
    void StoreLanguageID(std::uint16_t languageID);
    // Qt's own texts (message-box buttons, file dialogs) follow the interface language.
    void UpdateQtTranslation(const TMDVLanguage& language);

    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();

    // The controls; each one's object name is its member name.
    QAction* actNew;
    QAction* actOpen;
    QAction* actSave;
    QAction* actSaveAs;
    QAction* actClose;
    QAction* actExit;
    QAction* actOptions;
    QAction* actEnglish;
    QAction* actRussian;
    QAction* actUkrainian;
    QAction* actAbout;
    // The three language actions, the current one checked.
    QActionGroup* LanguageGroup;

    QMenu* FileMenu;
    QMenu* ServiceMenu;
    QMenu* LanguagesMenu;
    QWidget* ActionToolBarPanel;
    QToolBar* LeftToolBar;
    QToolBar* RightToolBar;
    TMDVViewsContainer* ViewContainer;
    QStatusBar* StatusBar;

    TCustomView* m_cnlListVisorView = nullptr;
    TMDVDocumentLink* m_link;
    QList<QLabel*> m_statusPanels;
    QTimer* m_idleUpdate;
    QTranslator* m_qtTranslator;
    bool m_shown = false;
    bool m_geometryBound = false;
};

} // namespace zorvan
