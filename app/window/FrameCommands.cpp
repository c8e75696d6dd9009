// The main window's toolbars and menus.
#include "FrameCommands.h"

#include "FrameIcons.h"
#include "Mnemonics.h"
#include "ProgramVersion.h"

#include <QAction>
#include <QDesktopServices>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
struct Key
{
    const char* key;
    const char* caption;
    const char* tooltip;
    bool separatorAfter;
};

// Toolbar1 from the left; the four separators group line, navigation, editing, log and settings.
const Key kToolbarKeys[] = {
    {"Back", "Back", "Back  Message", false},           {"Next", "Next", "Next Message", true},
    {"Save", "Save", "Save Message As", false},         {"Delete", "Delete", "Delete Message", false},
    {"Clear", "   Clear   ", "Clear Calls List", true}, {"Log", "Log", "Log", true},
    {"Events", "Events", "Set Events", false},          {"Actions", "Actions", "Set Actions", false},
    {"Options", "Options", "Options", false},
};

void nameButton(QToolBar* bar, QAction* action, const QString& accessibleName)
{
    if (QWidget* button = bar->widgetForAction(action)) {
        button->setObjectName(action->objectName() + "Button");
        button->setAccessibleName(accessibleName);
    }
}
} // namespace

FrameCommands::FrameCommands(QMainWindow& window, QAction* onOff, QAction* mnuOn, QAction* mnuOff,
                             const QString& webHost)
    : QObject(&window), m_webHost(webHost), m_onOff(onOff), m_mnuOn(mnuOn), m_mnuOff(mnuOff),
      m_coolBar(new QWidget(&window)), m_toolbar(new QToolBar(m_coolBar)),
      m_quickBand(new QWidget(m_coolBar)), m_quick(new QToolBar(m_quickBand)), m_systry(new QMenu(&window))
{
    m_coolBar->setObjectName("CoolBar1");
    auto* bands = new QVBoxLayout(m_coolBar);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    bands->addWidget(m_toolbar);
    bands->addWidget(m_quickBand);
    buildToolbar();
    buildQuickStrip();
    buildMenus(window);
}

void FrameCommands::buildToolbar()
{
    m_toolbar->setObjectName("Toolbar1");
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(24, 24));
    m_toolbar->setMovable(false);
    m_onOff->setToolTip("Modem Status");
    m_onOff->setIcon(FrameIcons::toolIcon("OnOff"));
    connect(m_onOff, &QAction::toggled, this,
            [this](bool on) { m_onOff->setIcon(FrameIcons::toolIcon(on ? "On" : "OnOff")); });
    m_toolbar->addAction(m_onOff);
    nameButton(m_toolbar, m_onOff, "Modem Status");
    m_toolbar->addSeparator();
    for (const Key& k : kToolbarKeys) {
        QAction* button = m_toolbar->addAction(FrameIcons::toolIcon(k.key), k.caption);
        button->setObjectName(k.key);
        button->setToolTip(k.tooltip);
        const QString key = k.key;
        connect(button, &QAction::triggered, this, [this, key] { emit toolbarButton(key); });
        nameButton(m_toolbar, button, QString(k.tooltip).simplified());
        if (k.separatorAfter)
            m_toolbar->addSeparator();
    }
}

void FrameCommands::buildQuickStrip()
{
    m_quickBand->setObjectName("QuickBand");
    m_quick->setObjectName("TBQuickOption");
    m_quick->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_quick->setIconSize(QSize(16, 16));
    m_quick->setMovable(false);
    struct
    {
        const char* key;
        const char* tooltip;
    } const buttons[] = {{"Add", "Create New Greeting"}, {"Play", "Play Greeting"}, {"Stop", ""}};
    for (const auto& b : buttons) {
        QAction* button = m_quick->addAction(FrameIcons::toolIcon(b.key), b.key);
        button->setObjectName(QString("Quick") + b.key);
        if (*b.tooltip)
            button->setToolTip(b.tooltip);
        const QString key = b.key;
        connect(button, &QAction::triggered, this, [this, key] { emit quickButton(key); });
        nameButton(m_quick, button, *b.tooltip ? QString(b.tooltip) : QString("Stop Greeting"));
    }
}

QAction* FrameCommands::menuItem(QMenu* menu, const QString& caption, const QString& name)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, [this, name] { emit menuCommand(name); });
    return item;
}

QAction* FrameCommands::repeatOfKey(QMenu* menu, const QString& caption, const QString& name,
                                    const QString& key)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, [this, key] { emit toolbarButton(key); });
    return item;
}

void FrameCommands::buildMenus(QMainWindow& window)
{
    QMenuBar* bar = window.menuBar();
    QMenu* file = bar->addMenu("File");
    file->setObjectName("mnuFile");
    repeatOfKey(file, "Save", "mnuSave", "Save")->setShortcut(QKeySequence::Save);
    repeatOfKey(file, "Delete", "mnuDelete", "Delete")->setShortcut(QKeySequence::Delete);
    repeatOfKey(file, "Clear", "mnuClear", "Clear");
    file->addSeparator();
    repeatOfKey(file, "Log", "mnuLog", "Log");
    file->addSeparator();
    menuItem(file, "Hide", "mnuHide");
    menuItem(file, "&Exit", "mnuExit")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = bar->addMenu("Edit");
    edit->setObjectName("mnuEdit");
    menuItem(edit, "First", "mnuFirst")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Home));
    menuItem(edit, "Last", "mnuLast")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_End));
    repeatOfKey(edit, "Next", "mnuNext", "Next");
    repeatOfKey(edit, "Back", "mnuBack", "Back");
    edit->addSeparator();
    menuItem(edit, "Play", "mnuPlay");
    menuItem(edit, "Stop", "mnuStop");

    // The settings menus: each item opens its dialog on a tab.
    struct Item
    {
        const char* caption;
        const char* name;
    };
    const auto settingsMenu = [&](const char* caption, const char* name, std::initializer_list<Item> items) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(name);
        for (const Item& item : items)
            menuItem(menu, item.caption, item.name);
    };
    settingsMenu("Events", "mnuEvents",
                 {{"General", "mnuEventsGeneral"},
                  {"In Coming Call", "mnuInComingCall"},
                  {"Disconnect Call", "mnuIdelCall"}});
    settingsMenu("Actions", "mnuActions", {{"E-Mail", "mnuMail"}, {"Application", "mnuAplication"}});
    settingsMenu("Options", "mnuOptions",
                 {{"General", "mnuGeneral"},
                  {"Devices", "mnuDevices"},
                  {"Answer Mode", "mnuAnswerMode"},
                  {"Advance", "mnuAdvance"}});
    if (QMenu* options = bar->findChild<QMenu*>("mnuOptions")) {
        options->addSeparator();
        menuItem(options, "Caller Rules", "mnuCallerRules");
    }

    const bool web = !m_webHost.isEmpty();
    QMenu* tools = bar->addMenu("Tools");
    tools->setObjectName("mnuTools");
    menuItem(tools, "Check For New Version", "mnuCheck4NewVersion")->setVisible(web);
    menuItem(tools, "Bug Report", "mnuBugReport")->setVisible(web);
    tools->addSeparator()->setVisible(web);
    menuItem(tools, "Greeting Creator", "mnuGreetingCreator");

    QMenu* help = bar->addMenu("Help");
    help->setObjectName("mnuHelp");
    menuItem(help, "Contents", "mnuContents")->setShortcut(QKeySequence::HelpContents);
    help->addSeparator()->setVisible(web);
    menuItem(help, "Brask Web-Site", "mnuWebSite")->setVisible(web);
    menuItem(help, "About", "mnuAbout");

    Mnemonics::assign(*bar);

    m_systry->setObjectName("mnuSystry");
    menuItem(m_systry, "Exit", "mnuExitSys");
    m_systry->addSeparator();
    m_mnuOff->setText("Off");
    m_systry->addAction(m_mnuOff);
    m_systry->addAction(m_mnuOn);
    m_systry->addSeparator();
    menuItem(m_systry, "Open", "mnuOpen");
}

QAction* FrameCommands::action(const QString& name) const
{
    auto* window = static_cast<QWidget*>(parent());
    for (QAction* a : window->findChildren<QAction*>(name))
        return a;
    return nullptr;
}

QString FrameCommands::productPage() const
{
    return m_webHost.isEmpty() ? QString() : "https://" + m_webHost + "/Kalvo";
}

QString FrameCommands::bugReportPage() const
{
    return m_webHost.isEmpty()
               ? QString()
               : "https://" + m_webHost + "/Kalvo/bugreport/BugReport.asp?CurVer=" + kProgramVersion;
}

void FrameCommands::setListCommandsEnabled(bool enabled)
{
    for (const char* name : {"Save", "Delete", "Clear", "Back", "Next", "mnuSave", "mnuDelete", "mnuClear",
                             "mnuNext", "mnuBack", "mnuFirst", "mnuLast", "mnuPlay", "mnuStop"})
        if (QAction* item = action(name))
            item->setEnabled(enabled);
}

QString FrameCommands::pageUrl(const QString& page, const QString& programFolder) const
{
    if (page == QLatin1String("help"))
        return QUrl::fromLocalFile(programFolder + "/Help/index.htm").toString();
    return page == QLatin1String("bugs") ? bugReportPage() : productPage();
}

bool FrameCommands::openPage(const QString& url)
{
    return url.isEmpty() || QDesktopServices::openUrl(QUrl(url));
}

QString FrameCommands::builtWebHost()
{
#ifdef KALVO_WEB_HOST
    return QStringLiteral(KALVO_WEB_HOST);
#else
    return {};
#endif
}
