#include "app/ui/MainFrameUnit.h"

#include "app/ui/AboutUnit.h"
#include "components/MDVLocalize.h"
#include "components/ui/MDVViewsContainer.h"
#include "components/ui/MakeAction.h"
#include "components/ui/ThemeIcon.h"
#include "device/ModbusMap.h"
#include "settings/AppOptions.h"
#include "settings/ui/DataContainerDlg.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace zorvan {

namespace {

// How often the actions' enabling is re-evaluated while the program is idle; cheap, and
// quick enough that a change made elsewhere shows before the user can reach the action.
constexpr int kIdleUpdateMs = 200;

// Where the window opens: the stored rectangle kept on a screen, the one holding its centre,
// else the primary one (the monitor it was saved on may be gone), shrunk to that screen's
// available area (but not below the window's minimum size) and moved into it. The stored
// values are any integers: 64-bit arithmetic throughout.
QRect openingGeometry(const TOptions& options, const QWidget& window) {
    const qint64 left = options.MainFrmLeft->Value();
    const qint64 top = options.MainFrmTop->Value();
    const qint64 width = options.MainFrmWidth->Value();
    const qint64 height = options.MainFrmHeight->Value();
    const qint64 cx = left + width / 2;
    const qint64 cy = top + height / 2;
    QScreen* screen = nullptr;
    if (cx >= INT_MIN && cx <= INT_MAX && cy >= INT_MIN && cy <= INT_MAX)
        screen = QGuiApplication::screenAt(QPoint(static_cast<int>(cx), static_cast<int>(cy)));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return window.geometry();
    const QRect area = screen->availableGeometry();
    const qint64 maxW = std::max(area.width(), 1);
    const qint64 maxH = std::max(area.height(), 1);
    const qint64 w =
        std::clamp<qint64>(width, std::clamp<qint64>(window.minimumWidth(), 1, maxW), maxW);
    const qint64 h =
        std::clamp<qint64>(height, std::clamp<qint64>(window.minimumHeight(), 1, maxH), maxH);
    const qint64 x = std::clamp<qint64>(left, area.left(), area.left() + maxW - w);
    const qint64 y = std::clamp<qint64>(top, area.top(), area.top() + maxH - h);
    return QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                 static_cast<int>(h));
}

// A stored coordinate (low -QWIDGETSIZE_MAX) or size (low 0) as the window takes it later on
// (the options dialog reloads the store): bounded, so that no rectangle arithmetic overflows.
int bounded(int value, int low) {
    return std::clamp(value, low, QWIDGETSIZE_MAX);
}

// The caption with its mnemonic on the first letter that no earlier entry of its menu took
// (their letters collected in taken), so that every entry keeps an Alt key in every language.
QString withMnemonic(const QString& text, QString& taken) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar letter = text[i].toLower();
        if (letter.isLetter() && !taken.contains(letter)) {
            taken += letter;
            return text.left(i) + u'&' + text.mid(i);
        }
    }
    return text;
}

} // namespace

TMainFrameDlg::TMainFrameDlg(TMDVDocumentLink* link, QWidget* parent)
    : QMainWindow(parent), m_link(link), m_idleUpdate(new QTimer(this)),
      m_qtTranslator(new QTranslator(this)) {
    setObjectName(QStringLiteral("MainFrameDlg"));
    setWindowTitle(QStringLiteral("Zorvan"));
    setGeometry(407, 254, 825, 501);

    MDVAgent.SetDocument(m_link);
    MDVAgent.FileExtention = QStringLiteral("zorvan");
    MDVAgent.OnUpdateLanguage = [this](TMDVAgent& sender) { MDVAgentUpdateLanguage(sender); };

    for (const char* name :
         {"document-open", "document-save", "document-new", "preferences-system"})
        MenuImageList.append(themeIcon(QString::fromLatin1(name)));

    CreateActions();
    CreateMenus();
    CreateToolBars();

    ViewContainer = new TMDVViewsContainer;
    ViewContainer->setObjectName(QStringLiteral("ViewContainer"));
    auto* client = new QWidget;
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(ActionToolBarPanel);
    column->addWidget(ViewContainer, 1);
    setCentralWidget(client);

    CreateStatusBar();

    connect(m_idleUpdate, &QTimer::timeout, this, &TMainFrameDlg::UpdateActions);
    m_idleUpdate->start(kIdleUpdateMs);

    FormCreate();
}

TMainFrameDlg::~TMainFrameDlg() {
    UnbindGeometry();
    // The link lives on in the data module: it must not call back into a destroyed window.
    if (m_link)
        m_link->OnModifiedChange = nullptr;
    MDVAgent.ViewsContainer = nullptr;
}

void TMainFrameDlg::CreateActions() {
    // The design captions are the menu entries' ones; the language update replaces the File
    // and Options captions.
    actNew = makeAction(this, "actNew", QStringLiteral("&New"),
                        {.Icon = MenuImageList[2], .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_N)});
    actOpen =
        makeAction(this, "actOpen", QStringLiteral("&Open"),
                   {.Icon = MenuImageList[0], .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_O)});
    actSave =
        makeAction(this, "actSave", QStringLiteral("&Save"),
                   {.Icon = MenuImageList[1], .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_S)});
    actSaveAs = makeAction(this, "actSaveAs", QStringLiteral("S&aveAs ..."));
    actClose = makeAction(this, "actClose", QStringLiteral("&Close"),
                          {.Shortcut = QKeySequence(Qt::ALT | Qt::Key_X)});
    actExit = makeAction(this, "actExit", QStringLiteral("&Exit"),
                         {.Shortcut = QKeySequence(Qt::Key_Escape)});
    actOptions =
        makeAction(this, "actOptions", QStringLiteral("&Options"),
                   {.Icon = MenuImageList[3], .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_I)});
    actEnglish = makeAction(this, "actEnglish", QStringLiteral("&English"));
    actRussian = makeAction(this, "actRussian", QStringLiteral("Русский"));
    actUkrainian = makeAction(this, "actUkrainian", QStringLiteral("Українська"));
    actAbout = makeAction(this, "actAbout", QStringLiteral("About"));
    LanguageGroup = new QActionGroup(this);
    for (QAction* action : {actEnglish, actRussian, actUkrainian}) {
        action->setCheckable(true);
        LanguageGroup->addAction(action);
    }

    for (QAction* action : {actNew, actOpen, actSave, actSaveAs, actClose, actExit, actOptions,
                            actEnglish, actRussian, actUkrainian, actAbout})
        addAction(action); // shortcuts work with the tool bar hidden too

    connect(actNew, &QAction::triggered, this, &TMainFrameDlg::actNewExecute);
    connect(actOpen, &QAction::triggered, this, &TMainFrameDlg::actOpenExecute);
    connect(actSave, &QAction::triggered, this, &TMainFrameDlg::actSaveExecute);
    connect(actSaveAs, &QAction::triggered, this, &TMainFrameDlg::actSaveAsExecute);
    connect(actClose, &QAction::triggered, this, &TMainFrameDlg::actCloseExecute);
    connect(actExit, &QAction::triggered, this, &TMainFrameDlg::actExitExecute);
    connect(actOptions, &QAction::triggered, this, &TMainFrameDlg::actOptionsExecute);
    connect(actEnglish, &QAction::triggered, this, &TMainFrameDlg::actEnglishExecute);
    connect(actRussian, &QAction::triggered, this, &TMainFrameDlg::actRussianExecute);
    connect(actUkrainian, &QAction::triggered, this, &TMainFrameDlg::actUkrainianExecute);
    connect(actAbout, &QAction::triggered, this, &TMainFrameDlg::actAboutExecute);
}

void TMainFrameDlg::CreateMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileMenu->addAction(actNew);
    FileMenu->addAction(actOpen);
    FileMenu->addAction(actSave);
    FileMenu->addAction(actSaveAs);
    FileMenu->addAction(actClose);
    FileMenu->addSeparator();
    FileMenu->addAction(actExit);

    ServiceMenu = menuBar()->addMenu(QStringLiteral("&Service"));
    ServiceMenu->setObjectName(QStringLiteral("ServiceMenu"));
    LanguagesMenu = ServiceMenu->addMenu(QStringLiteral("&Languages"));
    LanguagesMenu->setObjectName(QStringLiteral("LanguagesMenu"));
    LanguagesMenu->addAction(actEnglish);
    LanguagesMenu->addAction(actRussian);
    LanguagesMenu->addAction(actUkrainian);
    ServiceMenu->addAction(actOptions);

    menuBar()->addAction(actAbout);

    // A menu about to open shows the enabling of this moment, not of the last idle tick.
    connect(FileMenu, &QMenu::aboutToShow, this, &TMainFrameDlg::UpdateActions);
}

void TMainFrameDlg::CreateToolBars() {
    ActionToolBarPanel = new QWidget;
    ActionToolBarPanel->setObjectName(QStringLiteral("ActionToolBarPanel"));
    ActionToolBarPanel->setFixedHeight(37);
    auto* row = new QHBoxLayout(ActionToolBarPanel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    LeftToolBar = new QToolBar(ActionToolBarPanel);
    LeftToolBar->setObjectName(QStringLiteral("LeftToolBar"));
    LeftToolBar->setIconSize(QSize(24, 24));
    LeftToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    LeftToolBar->addAction(actNew);
    LeftToolBar->addAction(actOpen);
    LeftToolBar->addAction(actSave);
    LeftToolBar->addSeparator();

    RightToolBar = new QToolBar(ActionToolBarPanel);
    RightToolBar->setObjectName(QStringLiteral("RightToolBar"));
    RightToolBar->setIconSize(QSize(24, 24));
    RightToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    RightToolBar->setFixedWidth(76);
    RightToolBar->setLayoutDirection(Qt::RightToLeft);
    RightToolBar->addAction(actOptions);

    row->addWidget(LeftToolBar, 1);
    row->addWidget(RightToolBar, 0);
}

void TMainFrameDlg::CreateStatusBar() {
    StatusBar = new QStatusBar;
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    const int widths[2] = {100, 50};
    for (int i = 0; i < 2; ++i) {
        auto* panel = new QLabel(StatusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        if (i == 0)
            panel->setAlignment(Qt::AlignCenter);
        StatusBar->addWidget(panel);
        m_statusPanels.append(panel);
    }
    setStatusBar(StatusBar);
}

QString TMainFrameDlg::StatusPanelText(int index) const {
    if (index < 0 || index >= m_statusPanels.size())
        return QString();
    return m_statusPanels[index]->text();
}

// --- lifecycle -------------------------------------------------------------------------------

void TMainFrameDlg::FormCreate() {
    MDVAgent.ViewsContainer = ViewContainer;
    MDVAgent.AttachMainForm(this);
    if (m_link) {
        m_link->OnModifiedChange = [this](TMDVDocumentLink& sender) { LinkModifiedChange(sender); };
        LinkModifiedChange(*m_link); // the panel starts in step with the link
    }
    if (const TOptions* options = Options())
        ActionToolBarPanel->setVisible(options->ViewToolBar->Value());
    SelectLanguageFromOptions();
    MDVAgent.UpdateLanguage();
    MDVAgent.UpdateCaption();
    UpdateActions();
}

void TMainFrameDlg::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainFrameDlg::FormShow() {
    if (m_cnlListVisorView) {
        ViewContainer->AddView(m_cnlListVisorView);
        ViewContainer->SetActiveView(m_cnlListVisorView);
    }
    if (TOptions* options = Options()) {
        // An empty name closes the new document: only New and Open lead on.
        if (options->RestoreLastDocument->Value() && MDVAgent.Document())
            MDVAgent.OpenDocument(options->LastDocument->Value());
        // The window opens on a screen whatever the store holds.
        const QRect opening = openingGeometry(*options, *this);
        options->MainFrmLeft->setValue(opening.x());
        options->MainFrmTop->setValue(opening.y());
        options->MainFrmWidth->setValue(opening.width());
        options->MainFrmHeight->setValue(opening.height());
        MainFrmTopUpdateResource(true);
        MainFrmLeftUpdateResource(true);
        MainFrmWidthUpdateResource(true);
        MainFrmHeightUpdateResource(true);
        options->MainFrmLeft->OnUpdateResource = [this](bool u) { MainFrmLeftUpdateResource(u); };
        options->MainFrmTop->OnUpdateResource = [this](bool u) { MainFrmTopUpdateResource(u); };
        options->MainFrmWidth->OnUpdateResource = [this](bool u) { MainFrmWidthUpdateResource(u); };
        options->MainFrmHeight->OnUpdateResource = [this](bool u) {
            MainFrmHeightUpdateResource(u);
        };
        m_geometryBound = true;
    }
    UpdateActions();
}

void TMainFrameDlg::UnbindGeometry() {
    if (!m_geometryBound)
        return;
    m_geometryBound = false;
    TOptions* options = Options();
    if (!options)
        return; // the settings went first and took the geometry while the window existed
    // Outside a save, so that a changed coordinate is flagged and written at the end.
    TakeGeometry();
    for (TRegInteger* setting :
         {options->MainFrmLeft, options->MainFrmTop, options->MainFrmWidth, options->MainFrmHeight})
        setting->OnUpdateResource = nullptr;
}

void TMainFrameDlg::TakeGeometry() {
    MainFrmLeftUpdateResource(false);
    MainFrmTopUpdateResource(false);
    MainFrmWidthUpdateResource(false);
    MainFrmHeightUpdateResource(false);
}

void TMainFrameDlg::MainFrmLeftUpdateResource(bool aUpdateResource) {
    if (TOptions* options = Options()) {
        if (aUpdateResource)
            move(bounded(options->MainFrmLeft->Value(), -QWIDGETSIZE_MAX), y());
        else
            options->MainFrmLeft->setValue(x());
    }
}

void TMainFrameDlg::MainFrmTopUpdateResource(bool aUpdateResource) {
    if (TOptions* options = Options()) {
        if (aUpdateResource)
            move(x(), bounded(options->MainFrmTop->Value(), -QWIDGETSIZE_MAX));
        else
            options->MainFrmTop->setValue(y());
    }
}

void TMainFrameDlg::MainFrmWidthUpdateResource(bool aUpdateResource) {
    if (TOptions* options = Options()) {
        if (aUpdateResource)
            resize(bounded(options->MainFrmWidth->Value(), 0), height());
        else
            options->MainFrmWidth->setValue(width());
    }
}

void TMainFrameDlg::MainFrmHeightUpdateResource(bool aUpdateResource) {
    if (TOptions* options = Options()) {
        if (aUpdateResource)
            resize(width(), bounded(options->MainFrmHeight->Value(), 0));
        else
            options->MainFrmHeight->setValue(height());
    }
}

void TMainFrameDlg::closeEvent(QCloseEvent* event) {
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool TMainFrameDlg::FormClose() {
    if (TOptions* options = Options()) {
        if (options->WarningBeforeClosing->Value()) {
            const QString question = m_link ? m_link->Localization().Current().CloseAppQuestion
                                            : TMDVLocalizationEnglish().CloseAppQuestion;
            if (prompter().ask(question, PromptButtons::YesNo) != PromptAnswer::Yes)
                return false;
        }
        options->LastDocument->setValue(MDVAgent.FileName());
    }
    if (MDVAgent.Document() && !MDVAgent.CloseDocument())
        return false;
    return true;
}

// --- actions ---------------------------------------------------------------------------------

void TMainFrameDlg::UpdateActions() {
    actNewUpdate();
    actOpenUpdate();
    actSaveUpdate();
    actSaveAsUpdate();
    actCloseUpdate();
}

void TMainFrameDlg::actNewUpdate() {
    actNew->setEnabled(MDVAgent.Document() != nullptr);
}

void TMainFrameDlg::actOpenUpdate() {
    actOpen->setEnabled(MDVAgent.Document() != nullptr);
}

void TMainFrameDlg::actSaveUpdate() {
    const TMDVDocumentLink* link = MDVAgent.Document();
    actSave->setEnabled(link && link->Modified() && link->Active());
}

void TMainFrameDlg::actSaveAsUpdate() {
    const TMDVDocumentLink* link = MDVAgent.Document();
    actSaveAs->setEnabled(link && link->Active());
}

void TMainFrameDlg::actCloseUpdate() {
    actClose->setEnabled(MDVAgent.Document() != nullptr);
}

void TMainFrameDlg::actNewExecute() {
    MDVAgent.NewDocument();
    UpdateActions();
}

void TMainFrameDlg::actOpenExecute() {
    MDVAgent.OpenWithDialog();
    UpdateActions();
}

void TMainFrameDlg::actSaveExecute() {
    MDVAgent.Save();
    MDVAgent.UpdateCaption();
    UpdateActions();
}

void TMainFrameDlg::actSaveAsExecute() {
    MDVAgent.SaveAs();
    UpdateActions();
}

void TMainFrameDlg::actCloseExecute() {
    MDVAgent.CloseDocument();
    UpdateActions();
}

void TMainFrameDlg::actExitExecute() {
    close();
}

void TMainFrameDlg::actOptionsExecute() {
    if (TOptions* options = Options()) {
        // The dialog reloads the settings, and the window takes the stored geometry: store the
        // one it has now first, or the window would jump back to where the program started.
        if (m_geometryBound) {
            TakeGeometry();
            options->DataContainer->Save();
        }
        ExecuteDataContainerDialog(*options->DataContainerDialog, this);
        if (TModbusMapConn* conn = ModbusMapConn())
            conn->ApplyOptions();
        ActionToolBarPanel->setVisible(options->ViewToolBar->Value());
        SelectLanguageFromOptions();
    }
    MDVAgent.UpdateLanguage();
}

void TMainFrameDlg::SelectLanguageFromOptions() {
    const TOptions* options = Options();
    if (!options || !m_link)
        return;
    // Primary from the second byte, sub-language from the low byte; anything above is ignored.
    const int id = options->CurrLanguageID->Value();
    m_link->Localization().Select(static_cast<std::uint8_t>(id >> 8),
                                  static_cast<std::uint8_t>(id));
}

void TMainFrameDlg::SelectLanguage(std::uint8_t primary, std::uint8_t sub) {
    TMDVDocumentLink* link = MDVAgent.Document();
    if (!link)
        return;
    link->Localization().Select(primary, sub);
    StoreLanguageID(link->Localization().CurrentID());
    MDVAgent.UpdateLanguage();
}

void TMainFrameDlg::actEnglishExecute() {
    SelectLanguage(9, 1);
}

void TMainFrameDlg::actRussianExecute() {
    SelectLanguage(25, 0);
}

void TMainFrameDlg::actUkrainianExecute() {
    SelectLanguage(34, 0);
}

void TMainFrameDlg::actAboutExecute() {
    TAboutDlg dialog(this);
    dialog.exec();
}

void TMainFrameDlg::StoreLanguageID(std::uint16_t id) {
    if (TOptions* options = Options())
        options->CurrLanguageID->setValue(id);
}

void TMainFrameDlg::UpdateSettingsCaptions(const TMDVLanguage& language) {
    if (TOptions* options = Options()) {
        options->FrameworkOptions->setCaption(language.FrameworkOptionsText);
        options->ViewToolBar->setCaption(language.ViewToolbarText);
        options->WarningBeforeClosing->setCaption(language.WarningBeforeClosingText);
        options->RestoreLastDocument->setCaption(language.OpenLastFileText);
    }
}

void TMainFrameDlg::MDVAgentUpdateLanguage(TMDVAgent& sender) {
    TMDVDocumentLink* link = sender.Document();
    if (!link)
        return; // the texts come with the document link
    const TMDVLanguage& language = link->Localization().Current();
    QString taken; // in the File menu's order
    actNew->setText(withMnemonic(language.NewText, taken));
    actOpen->setText(withMnemonic(language.OpenText, taken));
    actSave->setText(withMnemonic(language.SaveText, taken));
    actSaveAs->setText(withMnemonic(language.SaveAsText, taken));
    actClose->setText(withMnemonic(language.CloseText, taken));
    actExit->setText(withMnemonic(language.ExitText, taken));
    taken = QStringLiteral("l"); // "&Languages" comes first in the Service menu
    actOptions->setText(withMnemonic(language.OptionsText, taken));
    UpdateSettingsCaptions(language);
    // The language actions are in the table's order.
    const TLocalizeList& languages = link->Localization().List();
    for (int i = 0; i < languages.Count(); ++i)
        if (QAction* action = LanguageGroup->actions().value(i))
            action->setChecked(languages.Items(i) == &language);
    UpdateQtTranslation(language);
}

void TMainFrameDlg::UpdateQtTranslation(const TMDVLanguage& language) {
    QCoreApplication::removeTranslator(m_qtTranslator);
    if (!language.QtLocale.isEmpty() &&
        m_qtTranslator->load(QStringLiteral("qtbase_") + language.QtLocale,
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslator);
}

void TMainFrameDlg::LinkModifiedChange(TMDVDocumentLink& sender) {
    m_statusPanels[0]->setText(sender.Modified() ? QStringLiteral("Modified") : QString());
    UpdateActions();
}

} // namespace zorvan
