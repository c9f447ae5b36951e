// Every window and dialog of the program, opened in both languages over a record whose texts
// are as long as their fields hold. English mode shows no Chinese text (the planted texts and the
// simulated device's values are ASCII, so any Chinese is the program's own); no text is wider
// than the room its widget gives it, even with the window shrunk to its minimum size; no window
// needs more than a 1280x1024 screen or opens with gaps between its rows. One picture per window
// and language goes to the test artifacts.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <set>

#include "firmware_dialog.h"
#include "input_upload_dialog.h"
#include "mqtt_dialog.h"
#include "output_rules_dialog.h"
#include "params/field_table.h"
#include "rtu_dialog.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

bool hasCjk(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x3000 && u <= 0x9fff) || (u >= 0xf900 && u <= 0xfaff) ||
               (u >= 0xff00 && u <= 0xffef);
    });
}

QString plain(const QLabel* label) {
    if (label->textFormat() == Qt::PlainText ||
        (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text())))
        return label->text();
    QTextDocument doc;
    doc.setHtml(label->text());
    return doc.toPlainText();
}

int textWidth(const QWidget* w, const QString& text, int flags = 0) {
    return w->fontMetrics().size(flags, text).width();
}

// What one window shows that it should not.
struct Findings {
    QStringList chinese;
    QStringList clipped;
    QStringList oversize;
    QStringList gaps;
};

class Walker {
public:
    Walker(Language lang, Findings& out) : m_english(lang == Language::English), m_out(out) {
        m_suffix = m_english ? QStringLiteral("en") : QStringLiteral("zh");
    }

    void inspect(QWidget* window, const QString& name) {
        m_where = QStringLiteral("%1 (%2)").arg(name, m_suffix);
        const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
        if (least.width() > 1280 || least.height() > 1024)
            m_out.oversize << QStringLiteral("%1: needs at least %2x%3")
                                  .arg(m_where)
                                  .arg(least.width())
                                  .arg(least.height());
        // Opened taller than its rows need, a window shows their stretched gaps.
        if (window->height() > window->sizeHint().height())
            m_out.gaps << QStringLiteral("%1: opens %2 px tall for %3 px of rows")
                              .arg(m_where)
                              .arg(window->height())
                              .arg(window->sizeHint().height());
        // A window may be shrunk to its minimum size: its texts must fit there too.
        window->resize(1, 1);
        QCoreApplication::processEvents();
        saveShot(window, name);
        chinese(window, QStringLiteral("window title"), window->windowTitle());
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->window() != window) continue;
            if (auto* l = qobject_cast<QLabel*>(w))
                label(l);
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                button(b);
            else if (auto* c = qobject_cast<QComboBox*>(w))
                combo(c);
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                groupBox(g);
            else if (auto* e = qobject_cast<QLineEdit*>(w))
                lineEdit(e);
        }
    }

    void menus(QMenuBar* bar) {
        m_where = QStringLiteral("menus (%1)").arg(m_suffix);
        for (QAction* a : bar->actions()) {
            // The language's own name stands for it in both modes.
            if (a->text() != QStringLiteral("中文"))
                chinese(bar, QStringLiteral("menu"), a->text());
            if (a->menu())
                for (QAction* item : a->menu()->actions())
                    chinese(a->menu(), QStringLiteral("menu item"), item->text());
        }
    }

private:
    static QString who(const QWidget* w) {
        return QStringLiteral("%1#%2").arg(QLatin1String(w->metaObject()->className()),
                                           w->objectName());
    }
    void chinese(const QWidget* w, const QString& what, const QString& text) {
        if (m_english && hasCjk(text))
            m_out.chinese << QStringLiteral("%1: %2 %3: \"%4\"").arg(m_where, who(w), what, text);
    }
    void clipped(const QWidget* w, const QString& text, int needed, int room) {
        if (needed > room)
            m_out.clipped << QStringLiteral("%1: %2: \"%3\" needs %4 px, has %5")
                                 .arg(m_where, who(w), text)
                                 .arg(needed)
                                 .arg(room);
    }

    void label(QLabel* l) {
        const QString text = plain(l);
        if (text.isEmpty()) return;
        chinese(l, QStringLiteral("text"), text);
        // Wrapped texts take more lines; elided ones carry their whole text as tooltip, or are
        // labels made to elide what does not fit.
        if (l->wordWrap() || (text.contains(QChar(0x2026)) && !l->toolTip().isEmpty()) ||
            l->property("elides").toBool())
            return;
        const int room = l->contentsRect().width() - 2 * l->margin() - std::max(0, l->indent());
        clipped(l, text, textWidth(l, text), room);
    }

    void button(QAbstractButton* b) {
        chinese(b, QStringLiteral("text"), b->text());
        if (b->text().isEmpty()) return;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(b))
            contents = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b))
            contents = QStyle::SE_RadioButtonContents;
        else if (auto* p = qobject_cast<QPushButton*>(b); p && (p->autoDefault() || p->isDefault()))
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        const int room = b->style()->subElementRect(contents, &opt, b).width();
        clipped(b, b->text(), textWidth(b, b->text(), Qt::TextShowMnemonic) + icon, room);
    }

    void combo(QComboBox* c) {
        QString widest;
        int needed = 0;
        for (int i = 0; i < c->count(); ++i) {
            const QString entry = c->itemText(i);
            chinese(c, QStringLiteral("entry"), entry);
            const int icon = c->itemIcon(i).isNull() ? 0 : c->iconSize().width() + 4;
            if (textWidth(c, entry) + icon > needed) {
                needed = textWidth(c, entry) + icon;
                widest = entry;
            }
        }
        if (c->count() == 0) return;
        // Any entry may be the chosen one: the widest must fit the closed box.
        if (!c->isEditable()) {
            QStyleOptionComboBox opt;
            opt.initFrom(c);
            opt.frame = c->hasFrame();
            opt.iconSize = c->iconSize();
            opt.subControls = QStyle::SC_All;
            const int room =
                c->style()
                    ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c)
                    .width();
            clipped(c, widest, needed, room);
        }
        c->showPopup();
        QAbstractItemView* view = c->view();
        const QModelIndex at = c->model()->index(c->findText(widest), c->modelColumn());
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        clipped(c, QStringLiteral("popup: ") + widest, needed + margin,
                view->visualRect(at).width());
        c->hidePopup();
    }

    void groupBox(QGroupBox* g) {
        chinese(g, QStringLiteral("title"), g->title());
        if (g->title().isEmpty()) return;
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.textAlignment = g->alignment();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        if (g->isCheckable()) opt.subControls |= QStyle::SC_GroupBoxCheckBox;
        const QRect title =
            g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        clipped(g, g->title(), title.right() + 1, g->width());
    }

    // Short texts (numbers, names, SMS texts) show whole; longer ones may scroll.
    void lineEdit(QLineEdit* e) {
        const QString text = e->text();
        if (text.isEmpty() || text.size() > 32 || e->echoMode() != QLineEdit::Normal) return;
        QStyleOptionFrame opt;
        opt.initFrom(e);
        opt.lineWidth =
            e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
        const QRect r = e->style()
                            ->subElementRect(QStyle::SE_LineEditContents, &opt, e)
                            .marginsRemoved(e->textMargins());
        // The edit keeps two pixels either side of its text.
        clipped(e, text, e->fontMetrics().horizontalAdvance(text), r.width() - 4);
    }

    void saveShot(QWidget* window, const QString& name) {
        const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
        ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(QStringLiteral("walk-%1-%2.png").arg(name, m_suffix));
        ASSERT_TRUE(window->grab().save(path)) << path.toStdString();
    }

    bool m_english;
    Findings& m_out;
    QString m_suffix;
    QString m_where;
};

// Every text the user edits as long as its field holds, in ASCII (so that the Chinese check
// sees only the program's own texts), every number at its largest, and the choices that show
// every part of the dialogs.
DeviceParams longestRecord(const DeviceParams& device) {
    // Texts the device reports, and the lock that would keep the record from showing.
    static const std::set<std::string_view> notUsers = {
        "deviceModel", "firmwareVersion",       "iccid",
        "imei",        "remoteConfigCurrentIp", "configLockPassword"};
    static const char kPattern[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    DeviceParams p = device;
    for (const FieldInfo& field : recordLayout()) {
        if (field.reserved || field.kind != FieldKind::Text || notUsers.count(field.name)) continue;
        std::string text;
        for (std::uint32_t i = 0; i + 1 < field.size; ++i) text += kPattern[i % 36];
        EXPECT_TRUE(p.setText(TextField{field.offset, field.size}, text)) << field.name;
    }
    // Numbers at their largest.
    for (const FieldInfo& field : recordLayout()) {
        if (field.reserved) continue;
        if (field.kind == FieldKind::U16) p.set(U16Field{field.offset, field.size}, 0xFFFF);
        if (field.kind == FieldKind::U32) p.set(U32Field{field.offset, field.size}, 0xFFFFFFFF);
    }
    p.set(f::mqttEnable, 1);
    p.set(f::httpEnable, 1);
    p.set(f::edgeMode, 1);
    p.set(f::modbusItemCount, 2);
    p.set(f::uploadFormat, 5);  // a format with SMS texts
    return p;
}

class WindowWalk : public uitest::DialogsOnDevice {
protected:
    // A device whose MQTT state has a line of text for each of its parts.
    WindowWalk() { simOptions.mqttState = std::array<std::uint8_t, 5>{1, 1, 2, 1, 1}; }

    // Reads the device, then loads the longest record as a parameter file.
    void loadLongestRecord() {
        read();
        const DeviceParams planted = longestRecord(session.params());
        session.params() = planted;
        const QString path = files.filePath(QStringLiteral("longest.bin"));
        ASSERT_TRUE(window->exportTo(path));
        ASSERT_TRUE(window->importFrom(path));
        takeMessages();
        ASSERT_EQ(session.params(), planted);
    }

    void walk(QWidget* dialog, const char* name, Walker& walker) {
        ASSERT_TRUE(dialog && dialog->isVisible()) << name;
        walker.inspect(dialog, QString::fromLatin1(name));
        close(dialog, name);
    }
    void close(QWidget* dialog, const char* name) {
        QPointer<QWidget> alive(dialog);
        dialog->close();
        ASSERT_TRUE(waitFor([&] { return alive.isNull(); })) << name;
    }

    template <typename D>
    D* clicked(QWidget* from, const char* name) {
        click(from->findChild<QWidget*>(QString::fromLatin1(name)));
        return from->findChild<D*>();
    }

    QAction* firmwareAction(Language lang) {
        const std::string_view t = langText(lang, kTextFirmwareUpgrade);
        return menuAction(QString::fromUtf8(t.data(), qsizetype(t.size())));
    }

    QTemporaryDir files;
};

TEST_F(WindowWalk, EveryWindowFitsItsTextsAndEnglishModeIsEnglish) {
    std::string error;
    sim::SimOptions rtuOptions;
    rtuOptions.kind = sim::DeviceKind::Rtu;
    auto rtuDevice = sim::PtyServer::start(rtuOptions, error);
    ASSERT_TRUE(rtuDevice) << error;

    Findings found;
    // The DTU: the window and the dialogs of its links and menus.
    loadLongestRecord();
    for (Language lang : {Language::Chinese, Language::English}) {
        window->setLanguage(lang);
        Walker walker(lang, found);
        walker.menus(window->menuBar());
        walker.inspect(window.get(), "main-window");
        for (const auto& [link, name] : {std::pair{"mqttLink", "mqtt"},
                                         {"httpLink", "http"},
                                         {"apnLink", "apn"},
                                         {"edgeLink", "poll"},
                                         {"certLink", "tls"},
                                         {"dataCacheLink", "data-cache"},
                                         {"gpsUploadLink", "gps"},
                                         {"userCodeLink", "user-settings"},
                                         {"relayLink", "relay"},
                                         {"serialFilterLink", "serial-filter"},
                                         {"serialSendLink", "timed-send"},
                                         {"remoteConfigLink", "remote-config"},
                                         {"accessPasswordLink", "access-password"},
                                         {"configLockLink", "config-lock"}}) {
            auto* l = find<QWidget>(link);
            ASSERT_TRUE(l && l->isEnabled()) << link;
            click(l);
            QDialog* dialog = nullptr;
            for (QDialog* d : window->findChildren<QDialog*>())
                if (d->isVisible()) dialog = d;
            if (dialog && std::string_view(name) == "mqtt") {
                // With the device's state in its status lines.
                auto* status = dialog->findChild<QPushButton*>(QStringLiteral("statusButton"));
                click(status);
                auto* tcp = dialog->findChild<QLabel*>(QStringLiteral("statusTcp"));
                ASSERT_TRUE(waitFor([&] { return status->isEnabled() && !tcp->text().isEmpty(); }));
            }
            walk(dialog, name, walker);
        }
        // The MQTT form of the counter firmware, which shows its counter rows instead.
        const DeviceParams kept = session.params();
        session.params().setText(f::firmwareVersion, std::string_view("C24061"));
        click(find<QWidget>("mqttLink"));
        walk(window->findChild<MqttDialog*>(), "mqtt-counter", walker);
        session.params() = kept;
        QAction* firmware = firmwareAction(lang);
        firmware->trigger();
        walk(window->findChild<FirmwareDialog*>(), "firmware", walker);
        // The about box ends the menu that starts with the firmware upgrade.
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            if (menu->actions().contains(firmware)) menu->actions().constLast()->trigger();
        QMessageBox* about = nullptr;
        ASSERT_TRUE(waitFor([&] {
            about = window->findChild<QMessageBox*>();
            return about && about->isVisible();
        }));
        walk(about, "about", walker);
    }

    // The RTU: its form and the two it opens.
    window->setLanguage(Language::Chinese);
    click(find<QPushButton>("openButton"));
    window->choosePort(QString::fromStdString(rtuDevice->path()), 4);
    click(find<QPushButton>("openButton"));
    ASSERT_TRUE(session.isOpen());
    loadLongestRecord();
    for (Language lang : {Language::Chinese, Language::English}) {
        window->setLanguage(lang);
        Walker walker(lang, found);
        auto* rtu = clicked<RtuDialog>(window.get(), "rtuButton");
        ASSERT_TRUE(rtu);
        walker.inspect(rtu, QStringLiteral("rtu"));
        walk(clicked<OutputRulesDialog>(rtu, "linkageRules"), "output-rules", walker);
        walk(clicked<InputUploadDialog>(rtu, "reportRules"), "input-upload", walker);
        close(rtu, "rtu");
    }
    EXPECT_TRUE(found.chinese.isEmpty()) << "Chinese texts in English mode:\n"
                                         << found.chinese.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(found.clipped.isEmpty()) << "Texts wider than their room:\n"
                                         << found.clipped.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(found.oversize.isEmpty()) << "Windows larger than a 1280x1024 screen:\n"
                                          << found.oversize.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(found.gaps.isEmpty()) << "Windows with empty space between their rows:\n"
                                      << found.gaps.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace dtu
