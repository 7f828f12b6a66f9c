#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMainWindow;
class QToolBar;
class QWidget;

namespace clipmoor {

class UserDefaults;
class ZKPreferencesModule;

inline constexpr const char* kZKPreferencesSelectionKey = "ZKPreferencesSelection";

// The preferences window: a toolbar with one item (image and label) per pane and the current
// pane below it. It knows nothing of the panes beyond ZKPreferencesModule. A pane change resizes
// the window to the pane and keeps its top edge in place; the pane shown last is remembered
// under "ZKPreferencesSelection" and shown first next time. Main thread only, except
// sharedController.
class ZKPreferencesController : public QObject {
    Q_OBJECT

public:
    // The process's controller, made on the first call (safe when several threads make that
    // call at once) and kept until the process ends.
    static ZKPreferencesController* sharedController();

    // A controller of its own (tests); the remembered selection lives in `defaults`.
    explicit ZKPreferencesController(UserDefaults& defaults, QObject* parent = nullptr);
    ~ZKPreferencesController() override;

    // The window, made on first use.
    QMainWindow* window();
    QToolBar* toolbar();

    // Centres the window on its screen and shows it. The sender is ignored.
    void showWindow(QObject* sender = nullptr);

    using ModuleList = std::vector<std::shared_ptr<ZKPreferencesModule>>;
    // Replaces the panes, which the controller keeps. The same list again changes nothing; an
    // empty list clears the toolbar and nothing else.
    void setModules(const ModuleList& modules);
    const ModuleList& modules() const { return modules_; }
    ZKPreferencesModule* currentModule() const { return currentModule_; }

    // The last pane with that identifier; none when no pane has it.
    ZKPreferencesModule* moduleForIdentifier(const QString& identifier) const;
    // The toolbar items' action: shows the pane named by the item; an unknown item does nothing.
    void selectModule(QAction* item);
    void setSelectedPreferenceItemWithIdentifier(const QString& identifier);
    void changeToModule(ZKPreferencesModule* module);

    // The identifiers of the panes, in toolbar order.
    QStringList toolbarItemIdentifiers() const;
    QString selectedItemIdentifier() const;

private:
    ZKPreferencesController();
    void setupToolbar();
    void rebuildToolbarItems();

    UserDefaults& defaults_;
    QPointer<QMainWindow> window_;
    QPointer<QToolBar> toolbar_;
    QPointer<QActionGroup> itemGroup_;
    ModuleList modules_;
    ZKPreferencesModule* currentModule_ = nullptr;
};

}  // namespace clipmoor
