#ifndef WALLPANEL_H
#define WALLPANEL_H

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "core/startup/startoptions.h"

class AnswerWatch;
class Backlight;
class DialogPin;
class Dpms;
class IdleWatch;
class InputFilter;
class Item;
class Page;
class PinLock;
class QalixMsgClient;
class QLabel;
class QMainWindow;
class ScreenSaver;
class StaleWatch;
class WakeWatch;

// The wall-panel switches at work on the main window: the first page again
// and the screen saver after a while untouched, the stale look of the items
// while the message server is out of reach, and the PIN before exit and
// options (and no editing keys on the pages). The main window makes one only when a switch asks for it, so a
// panel started without them behaves as ever.
class WallPanel : public QObject
{
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // With the buttons locked, how long a dialog may stay open untouched.
    static constexpr qint64 lockedDialogMsecs = 60000;

    // `pages` is the window's list of pages; `clock` replaces the monotonic
    // clock (tests).
    WallPanel(const StartOptions &options, QMainWindow *window, const QList<Page *> *pages, Clock clock = {});
    ~WallPanel() override;

    // A page of the window: its items, built now or later, take the stale
    // look when due; with the lock its editing keys do nothing.
    void watchPage(Page *page);
    // The message server link whose state decides what is stale.
    void watchClient(QalixMsgClient *client);
    // A report of `value` for `key` has been handed to the items bound to it.
    void delivered(const QString &key, double value);
    // A command for `key` went out to the message server (-touch: its items
    // are marked when no report answers it).
    void sent(const QString &key);
    // The server does not know the value of `key`: its items look stale at once.
    void unknown(const QString &key);
    // -stale is on: values can be shown as not known.
    bool showsStale() const { return bool(m_stale); }
    // The operator changed the page.
    void pageChanged();
    // Before the exit or options button acts: asks for the PIN when the
    // buttons are locked. True when the button may act; false at once while
    // the pad is up already.
    bool unlock();
    // Whether the buttons, and with them the window's close, ask for the PIN.
    bool isLocked() const { return m_lock != nullptr; }
    // The window's size changed; the corner buttons are placed already.
    void place(const QRect &connectionButton);
    // The idle, stale and answer times are checked, once a second.
    void poll();
    // The ports whose reports wake the panel (-wake).
    QStringList wakeKeys() const;

    // Where the no-connection banner goes: a strip along the bottom of
    // `pageArea` (the page as shown, in window coordinates), sized after the
    // corner buttons.
    static QRect bannerRect(const QRect &pageArea, int buttonEdge);

    bool isDimmed() const;
    const QLabel *banner() const { return m_banner; }
    const ScreenSaver *screenSaver() const { return m_saver; }
    // The display's backlight, which the saver switches off; null without -dim.
    const Backlight *backlight() const { return m_backlight.get(); }

private:
    bool askForPin();
    void showHome();
    void dim();
    static void closeDialogs();
    QRect shownPageArea() const;
    void wake();
    void setStaleLook(Item *item);
    void markAwaitingAnswer(const QString &key, bool waiting);
    void updateBanner();
    void switchBacklight(bool on);

    QMainWindow *m_window;
    const QList<Page *> *m_pages;
    Clock m_clock;
    std::unique_ptr<IdleWatch> m_idle;
    std::unique_ptr<StaleWatch> m_stale;
    std::unique_ptr<PinLock> m_lock;
    std::unique_ptr<AnswerWatch> m_answers;
    std::unique_ptr<WakeWatch> m_wakes;
    InputFilter *m_filter = nullptr;
    ScreenSaver *m_saver = nullptr;
    std::unique_ptr<Dpms> m_dpms;
    std::unique_ptr<Backlight> m_backlight; // after m_dpms: it may use it to the end
    QString m_backlightSaid;
    QLabel *m_banner = nullptr;
    QString m_why; // the client's reason, in German, for the banner
    QTimer m_pollTimer;
    bool m_asking = false;
};

#endif // WALLPANEL_H
