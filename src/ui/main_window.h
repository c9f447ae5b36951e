#pragma once

#include <QMainWindow>

#include "files/pc_settings.h"
#include "params/main_form.h"
#include "qt_translations.h"
#include "text/language.h"

class QAction;
class QMenu;

namespace dtu {

class AdvancedPanel;
class CommandsPanel;
class ParametersPanel;
class PortRowPanel;
class ProductionPanel;
class Session;
class StatusPanel;
class TerminalPanel;
class WindowHistory;
struct DecodeResult;

// The main window: a frame of panels over the shared session. It builds the menus, lays the
// panels out and passes them the session's news; each panel shows its own part of the form.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence: lists, settings, language, operating guide, empty record.
    MainWindow(Session& session, const PcSettings& settings, QWidget* parent = nullptr);

    // The PC-side choices to remember (lists, language, hex boxes and the values kept for
    // other windows).
    PcSettings pcSettings() const;

    void setLanguage(Language lang);
    Language language() const { return m_lang; }

    // Opens the port chosen in the port row (or closes it).
    void togglePort();
    // Chooses a port path that the system does not list (a pseudo-terminal) and its baud item.
    void choosePort(const QString& path, int baudItem);

    // Parameter files, with the same results as the menu items after their file dialogs.
    bool exportTo(const QString& path);
    bool importFrom(const QString& path);
    void oneClickConfigure();
    // The production folder, as the tools menu item sets it after its folder chooser.
    void setProductionDir(const QString& dir);

    // The session's parameter history, for the tools menu's History (none: the item is off).
    void setHistory(WindowHistory* history);

    // The parameter controls as values, and back.
    MainForm form() const;
    void setForm(const MainForm& form);

signals:
    // The window is closing; the choices to remember.
    void closing(const PcSettings& settings);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void connectSession();
    // Every text of the window in the language, nothing else.
    void showTexts(Language lang);
    void retranslateMenus();
    void redisplay();
    void showAnswer(const DecodeResult& result);
    void showLoadedFile();
    void refreshStatus();
    void applyEnabling();
    void save();
    bool collectInto(DeviceParams& params);
    void exportWithDialog();
    void importWithDialog();
    void openFirmwareDialog();
    void openHistoryDialog();
    void showAbout();
    void chooseProductionDir();
    void showProductionDir();
    QString text(int id) const;

    Session& m_session;
    Language m_lang = Language::Chinese;
    QtTranslations m_qtTexts;  // Qt's own dialogs speak m_lang too
    PcSettings m_kept;           // values of the settings file that other windows own
    bool m_statusShown = false;  // the status area stays empty until a read or an import
    bool m_writingForm = false;
    QString m_firmwarePath;  // kept while the program runs
    bool m_probeStarted = false;

    QMenu* m_deviceMenu = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_firmwareAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_deepResetAction = nullptr;
    QAction* m_productionDirAction = nullptr;
    QAction* m_historyAction = nullptr;
    WindowHistory* m_history = nullptr;

    PortRowPanel* m_portRow = nullptr;
    ParametersPanel* m_parameters = nullptr;
    AdvancedPanel* m_advanced = nullptr;
    CommandsPanel* m_commands = nullptr;
    ProductionPanel* m_production = nullptr;
    StatusPanel* m_status = nullptr;
    TerminalPanel* m_terminal = nullptr;
};

}  // namespace dtu
