#include "gui/wall/wallpanel.h"

#include "core/live/answerwatch.h"
#include "core/wall/wakewatch.h"
#include "gui/dialogs/dialogpin.h"
#include "gui/dialogs/panelmessagebox.h"
#include "core/wall/backlight.h"
#include "gui/wall/dpms.h"
#include "core/wall/idlewatch.h"
#include "gui/wall/inputfilter.h"
#include "core/wall/pinlock.h"
#include "gui/wall/screensaver.h"
#include "core/wall/stalewatch.h"
#include "gui/items/item.h"
#include "core/net/qalixmsgclient.h"
#include "gui/pages/page.h"
#include "core/package/projectdirectory.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QGraphicsView>
#include <QLabel>
#include <QMainWindow>
#include <QTime>

#include <algorithm>
#include <chrono>

namespace {
qint64 monotonicMsecs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

WallPanel::WallPanel(const StartOptions &options, QMainWindow *window, const QList<Page *> *pages, Clock clock)
    : QObject(window)
    , m_window(window)
    , m_pages(pages)
    , m_clock(clock ? std::move(clock) : Clock(monotonicMsecs))
{
    // The lock needs the idle count too: an unlocked dialog must not wait
    // for the next passer-by.
    if (options.homeSeconds > 0 || options.dimSeconds > 0 || !options.pinFile.isEmpty()) {
        m_idle = std::make_unique<IdleWatch>(options.homeSeconds, options.dimSeconds, m_clock);
        m_filter = new InputFilter(m_idle.get(), this);
        connect(m_filter, &InputFilter::woke, this, &WallPanel::wake);
        QCoreApplication::instance()->installEventFilter(m_filter);
    }
    if (options.dimSeconds > 0) {
        m_saver = new ScreenSaver(window);
        const QString classDirectory = Backlight::defaultClassDirectory();
        const QString stateFile = Backlight::defaultStateFile();
        QString problem;
        // A run that died in the dark, started without the kiosk launcher.
        if (!Backlight::restoreRecorded(stateFile, classDirectory, &problem))
            qCritical().noquote() << problem;
        m_dpms = std::make_unique<Dpms>(QGuiApplication::platformName());
        Dpms *dpms = m_dpms.get();
        Backlight::Dpms switchDpms;
        if (dpms->isAvailable())
            switchDpms = [dpms](bool on, QString *why) { return dpms->set(on, why); };
        m_backlight = std::make_unique<Backlight>(classDirectory, stateFile, switchDpms, dpms->whyNot());
        if (!m_backlight->whyItStaysOn().isEmpty())
            qCritical().noquote() << m_backlight->whyItStaysOn();
    }
    if (options.staleSeconds > 0) {
        m_stale = std::make_unique<StaleWatch>(options.staleSeconds, m_clock, [] { return QTime::currentTime(); });
        m_banner = new QLabel(window->centralWidget());
        m_banner->setObjectName(QStringLiteral("labelNoConnection"));
        m_banner->setAlignment(Qt::AlignCenter);
        // Items under it stay within reach: page links work offline too.
        m_banner->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_banner->hide();
    }
    if (!options.pinFile.isEmpty()) {
        m_lock = std::make_unique<PinLock>(options.pinFile, m_clock);
        // Beside the packages, where the panel may write: a panel started
        // again (by the kiosk launcher, say) keeps its count and lock-out.
        m_lock->keepRecord(projectDirectory() + QStringLiteral("pinlockout"));
    }
    if (options.touch)
        m_answers = std::make_unique<AnswerWatch>(AnswerWatch::defaultWaitMsecs, m_clock);
    if (!options.wakeKeys.isEmpty()) {
        if (m_saver)
            m_wakes = std::make_unique<WakeWatch>(options.wakeKeys);
        else
            qCritical().noquote() << "-wake without -dim: there is no screen saver to wake from; switch ignored";
    }
    if (m_idle || m_stale || m_answers) {
        connect(&m_pollTimer, &QTimer::timeout, this, &WallPanel::poll);
        m_pollTimer.start(1000);
    }
}

WallPanel::~WallPanel()
{
    if (m_filter)
        QCoreApplication::instance()->removeEventFilter(m_filter);
}

void WallPanel::watchPage(Page *page)
{
    if (m_lock)
        page->setEditingKeys(false);
    if (!m_stale)
        return;
    for (Item *item : page->items())
        setStaleLook(item);
    connect(page, &Page::itemBuilt, this, &WallPanel::setStaleLook, Qt::UniqueConnection);
    // Items pasted or bound anew: one whose port never reported looks unknown too.
    connect(page, &Page::portBound, this, [this, page](const QString &key) {
        for (Item *item : page->boundItems(key))
            setStaleLook(item);
    });
}

void WallPanel::watchClient(QalixMsgClient *client)
{
    if (!m_stale || !client)
        return;
    const auto follow = [this](bool live) {
        if (m_stale->setLive(live))
            updateBanner();
    };
    // Live, not merely connected: a server that accepts and drops must not
    // restart the count every few seconds.
    client->setStartProbe(true);
    connect(client, &QalixMsgClient::liveChanged, this, follow);
    follow(client->isLive());
    const auto explain = [this](const DownReason &reason) {
        m_why = reason.operatorText();
        if (m_stale->isBannerShown())
            updateBanner();
    };
    connect(client, &QalixMsgClient::downReasonChanged, this, explain);
    explain(client->downReason());
}

QStringList WallPanel::wakeKeys() const
{
    return m_wakes ? m_wakes->keys() : QStringList();
}

void WallPanel::sent(const QString &key)
{
    if (m_answers)
        m_answers->sent(key);
}

void WallPanel::markAwaitingAnswer(const QString &key, bool waiting)
{
    for (Page *page : *m_pages) {
        for (Item *item : page->boundItems(key))
            item->setAwaitingAnswer(waiting);
    }
}

void WallPanel::delivered(const QString &key, double value)
{
    if (m_answers && m_answers->answered(key))
        markAwaitingAnswer(key, false);
    if (m_wakes) {
        if (m_wakes->reported(key, value) && isDimmed())
            wake();
        m_idle->keepAwake(m_wakes->isAnyRaised());
    }
    // The look clears here, where every report reaches the items, not in the
    // kinds: they may skip a value equal to the one they show.
    if (!m_stale || !m_stale->delivered(key))
        return;
    for (Page *page : *m_pages) {
        for (Item *item : page->boundItems(key))
            item->setStale(false);
    }
}

void WallPanel::unknown(const QString &key)
{
    if (!m_stale || !m_stale->setUnknown(key))
        return;
    for (Page *page : *m_pages) {
        for (Item *item : page->boundItems(key))
            item->setStale(true);
    }
}

void WallPanel::pageChanged()
{
    if (m_idle)
        m_idle->pageChanged();
}

bool WallPanel::unlock()
{
    if (!m_lock)
        return true;
    // One pad at a time: a close request while it is up is answered by it.
    if (m_asking)
        return false;
    m_asking = true;
    const bool unlocked = askForPin();
    m_asking = false;
    return unlocked;
}

bool WallPanel::askForPin()
{
    // Read at every press, so a changed file needs no restart. Without a
    // valid PIN nobody gets in: the safe side for a locked panel.
    QString problem;
    if (!PinLock::readPin(m_lock->path(), nullptr, &problem)) {
        qCritical().noquote() << problem;
        // The window's title shows the live status, no name.
        PanelMessageBox::tell(tr("Keine gültige PIN hinterlegt. Beenden und Optionen bleiben gesperrt."), m_window,
                              QMessageBox::Warning);
        return false;
    }
    DialogPin pad(m_lock.get(), m_window);
    return pad.exec() == QDialog::Accepted;
}

void WallPanel::place(const QRect &connectionButton)
{
    if (m_banner) {
        const QRect strip = bannerRect(shownPageArea(), connectionButton.height());
        m_banner->setGeometry(strip);
        m_banner->setStyleSheet(QStringLiteral("QLabel#labelNoConnection { background-color: #B00020;"
                                               " color: #FFFFFF; font-size: %1px; }")
                                    .arg(strip.height() * 55 / 100));
        m_banner->raise();
    }
    if (m_saver) {
        m_saver->setGeometry(m_window->rect());
        m_saver->raise();
    }
}

QRect WallPanel::bannerRect(const QRect &pageArea, int buttonEdge)
{
    // The page's title and the corner buttons are at the top: a strip along
    // the bottom of the page hides neither, and stays off the black margin
    // beside a zoomed page.
    const int height = qMin(pageArea.height(), qMax(16, buttonEdge * 4 / 10));
    return QRect(pageArea.left(), pageArea.bottom() + 1 - height, pageArea.width(), height);
}

QRect WallPanel::shownPageArea() const
{
    // Every page has the same size and zoom, but only the one shown has its
    // view laid out for the size it has now: a hidden one catches up when it
    // is shown, and would place the banner for the screen before.
    const auto visible = std::find_if(m_pages->begin(), m_pages->end(),
                                      [this](const Page *page) { return page->isVisibleTo(m_window); });
    if (visible != m_pages->end()) {
        const QGraphicsView *view = (*visible)->view();
        const QRect shown = view->mapFromScene(view->sceneRect()).boundingRect() & view->rect();
        if (!shown.isEmpty())
            return QRect(view->mapTo(m_window, shown.topLeft()), shown.size());
    }
    return m_window->rect();
}

void WallPanel::poll()
{
    if (m_idle) {
        const IdleWatch::Due due = m_idle->poll();
        // Nobody is there to finish a dialog, and an unlocked one left open
        // would hand its settings to whoever comes next.
        if (due.home || due.dim || (m_lock && m_idle->idleMsecs() >= lockedDialogMsecs))
            closeDialogs();
        if (due.home)
            showHome();
        if (due.dim)
            dim();
    }
    // A backlight that did not come on at the waking touch is tried again.
    if (m_backlight && m_backlight->isOff() && !isDimmed())
        switchBacklight(true);
    if (m_answers) {
        for (const QString &key : m_answers->poll())
            markAwaitingAnswer(key, true);
    }
    if (m_stale && m_stale->poll()) {
        for (Page *page : *m_pages) {
            for (Item *item : page->items())
                setStaleLook(item);
        }
        updateBanner();
    }
}

bool WallPanel::isDimmed() const
{
    return m_saver && m_saver->isVisible();
}

void WallPanel::showHome()
{
    // What loading leaves: only the first page shown.
    if (m_pages->isEmpty())
        return;
    Page *home = m_pages->first();
    for (Page *page : *m_pages) {
        if (page != home)
            page->setVisible(false);
    }
    home->setVisible(true);
}

void WallPanel::dim()
{
    if (!m_saver)
        return;
    m_saver->setGeometry(m_window->rect());
    m_saver->show();
    m_saver->raise();
    switchBacklight(false);
}

void WallPanel::switchBacklight(bool on)
{
    QString problem;
    if (on ? m_backlight->switchOn(&problem) : m_backlight->switchOff(&problem))
        return;
    // Once per run and fault, not at every dimming or every second.
    if (problem != m_backlightSaid)
        qCritical().noquote() << problem;
    m_backlightSaid = problem;
}

void WallPanel::closeDialogs()
{
    // Rejected, so nothing is saved: the options, the PIN pad, a message box.
    // Each one's exec() returns once the dialogs above it have returned.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(widget);
        if (dialog && dialog->isVisible())
            dialog->reject();
    }
}

void WallPanel::wake()
{
    if (!m_saver)
        return;
    m_saver->hide();
    switchBacklight(true);
}

void WallPanel::setStaleLook(Item *item)
{
    const QString &port = item->record().port;
    item->setStale(!port.isEmpty() && m_stale->isStale(port));
}

void WallPanel::updateBanner()
{
    if (m_saver)
        m_saver->setStale(m_stale->isBannerShown());
    if (m_stale->isBannerShown()) {
        m_banner->setText(m_stale->bannerText(m_why));
        m_banner->show();
        m_banner->raise();
    } else {
        m_banner->hide();
    }
}
