#include "ui/preferences/zk_preferences_controller.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QToolBar>

#include "platform/user_defaults.h"
#include "ui/preferences/zk_preferences_module.h"

namespace clipmoor {

namespace {
constexpr QSize kInitialContentSize{300, 200};
}  // namespace

ZKPreferencesController* ZKPreferencesController::sharedController() {
    // Made once, also when several threads ask first; never destroyed, so it stays valid
    // until the process ends.
    static ZKPreferencesController* const controller = new ZKPreferencesController();
    return controller;
}

ZKPreferencesController::ZKPreferencesController()
    : ZKPreferencesController(UserDefaults::standard()) {
    // Whichever thread asked first, the controller belongs to the main thread.
    if (QCoreApplication* app = QCoreApplication::instance(); app && thread() != app->thread())
        moveToThread(app->thread());
}

ZKPreferencesController::ZKPreferencesController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {}

ZKPreferencesController::~ZKPreferencesController() {
    // The shown pane's view lies in the window; hand it back to its pane first.
    if (currentModule_ && currentModule_->view()) currentModule_->view()->setParent(nullptr);
    delete window_;
}

QMainWindow* ZKPreferencesController::window() {
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    if (window_) return window_;
    window_ = new QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                           Qt::WindowCloseButtonHint);
    window_->setAccessibleName(QStringLiteral("Preferences"));
    window_->setCentralWidget(new QWidget(window_));
    window_->centralWidget()->setFixedSize(kInitialContentSize);
    window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
    for (const QKeySequence& keys :
         {QKeySequence(QKeySequence::Close), QKeySequence(Qt::Key_Escape)})
        connect(new QShortcut(keys, window_), &QShortcut::activated, window_, &QWidget::close);
    setupToolbar();
    return window_;
}

QToolBar* ZKPreferencesController::toolbar() {
    window();
    return toolbar_;
}

void ZKPreferencesController::setupToolbar() {
    toolbar_ = new QToolBar(window_);
    toolbar_->setObjectName(QStringLiteral("PreferencesToolbar"));
    toolbar_->setAccessibleName(QStringLiteral("Preference panes"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->toggleViewAction()->setEnabled(false);
    window_->setContextMenuPolicy(Qt::PreventContextMenu);
    window_->addToolBar(Qt::TopToolBarArea, toolbar_);
    itemGroup_ = new QActionGroup(toolbar_);
    itemGroup_->setExclusive(true);
}

void ZKPreferencesController::showWindow(QObject*) {
    QMainWindow* shown = window();
    const auto centre = [shown] {
        QScreen* screen = shown->screen() ? shown->screen() : QGuiApplication::primaryScreen();
        if (!screen) return;
        QRect frame = shown->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        shown->move(frame.topLeft());
    };
    shown->adjustSize();
    centre();
    shown->show();
    // Showing settles the window's final size (and its frame); centre on that.
    centre();
    shown->raise();
    shown->activateWindow();
}

void ZKPreferencesController::setModules(const ModuleList& modules) {
    if (modules == modules_) return;
    modules_ = modules;
    window();
    rebuildToolbarItems();
    if (modules_.empty()) return;
    ZKPreferencesModule* module = moduleForIdentifier(
        defaults_.stringForKey(QString::fromLatin1(kZKPreferencesSelectionKey)));
    changeToModule(module ? module : modules_.front().get());
}

void ZKPreferencesController::rebuildToolbarItems() {
    for (QAction* item : toolbar_->actions()) {
        itemGroup_->removeAction(item);
        toolbar_->removeAction(item);
        delete item;
    }
    for (const auto& module : modules_) {
        auto* item = new QAction(module->image(), module->title(), toolbar_);
        item->setObjectName(module->identifier());
        item->setData(module->identifier());
        item->setCheckable(true);
        itemGroup_->addAction(item);
        toolbar_->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { selectModule(item); });
        if (QWidget* button = toolbar_->widgetForAction(item)) {
            button->setAccessibleName(module->title());
            // Toolbar buttons take no focus by default; these are the only way to the panes.
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
}

ZKPreferencesModule* ZKPreferencesController::moduleForIdentifier(const QString& identifier) const {
    ZKPreferencesModule* found = nullptr;
    for (const auto& module : modules_)
        if (module->identifier() == identifier) found = module.get();
    return found;
}

void ZKPreferencesController::selectModule(QAction* item) {
    if (!item) return;
    if (ZKPreferencesModule* module = moduleForIdentifier(item->data().toString()))
        changeToModule(module);
}

void ZKPreferencesController::setSelectedPreferenceItemWithIdentifier(const QString& identifier) {
    if (ZKPreferencesModule* module = moduleForIdentifier(identifier)) changeToModule(module);
}

void ZKPreferencesController::changeToModule(ZKPreferencesModule* module) {
    if (!module) return;
    QMainWindow* shown = window();
    QWidget* container = shown->centralWidget();
    if (currentModule_ && currentModule_ != module && currentModule_->view()) {
        currentModule_->view()->hide();
        currentModule_->view()->setParent(nullptr);
    }

    QWidget* view = module->view();
    // The window grows or shrinks to the pane; its position (and so its top edge) stays.
    const QPoint topLeft = shown->pos();
    container->setFixedSize(view->size());
    shown->adjustSize();
    shown->move(topLeft);

    for (QAction* item : toolbar_->actions())
        if (item->data().toString() == module->identifier()) item->setChecked(true);
    shown->setWindowTitle(module->title());
    module->willBeDisplayed();
    currentModule_ = module;
    view->setParent(container);
    view->move(0, 0);
    view->show();
    defaults_.setValue(module->identifier(), QString::fromLatin1(kZKPreferencesSelectionKey));
    defaults_.synchronize();
}

QStringList ZKPreferencesController::toolbarItemIdentifiers() const {
    QStringList identifiers;
    if (toolbar_)
        for (QAction* item : toolbar_->actions()) identifiers.append(item->data().toString());
    return identifiers;
}

QString ZKPreferencesController::selectedItemIdentifier() const {
    QAction* checked = itemGroup_ ? itemGroup_->checkedAction() : nullptr;
    return checked ? checked->data().toString() : QString();
}

}  // namespace clipmoor
