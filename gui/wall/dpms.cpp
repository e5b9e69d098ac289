#include "gui/wall/dpms.h"

#ifdef QALIX_HAVE_DPMS
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#endif

#ifdef QALIX_HAVE_DPMS

namespace {
// Xlib's own handler ends the process on an error; a refused request must
// only fail the switch.
int requestError = 0;
int noteError(Display *, XErrorEvent *event)
{
    requestError = event->error_code;
    return 0;
}
} // namespace

Dpms::Dpms(const QString &platformName)
{
    if (platformName != QLatin1String("xcb")) {
        m_whyNot = QStringLiteral("no DPMS on %1").arg(platformName);
        return;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        m_whyNot = QStringLiteral("no DPMS (the display cannot be opened)");
        return;
    }
    int event = 0;
    int error = 0;
    if (!DPMSQueryExtension(display, &event, &error)) {
        m_whyNot = QStringLiteral("the X server has no DPMS");
    } else if (!DPMSCapable(display)) {
        m_whyNot = QStringLiteral("the X server's screen is not DPMS-capable");
    } else {
        m_display = display;
        return;
    }
    XCloseDisplay(display);
}

Dpms::~Dpms()
{
    if (m_display)
        XCloseDisplay(static_cast<Display *>(m_display));
}

bool Dpms::set(bool on, QString *problem)
{
    auto *display = static_cast<Display *>(m_display);
    if (!display) {
        *problem = m_whyNot;
        return false;
    }
    requestError = 0;
    const auto previousHandler = XSetErrorHandler(noteError);
    if (!on) {
        CARD16 level = 0;
        BOOL enabled = False;
        DPMSInfo(display, &level, &enabled);
        m_wasEnabled = enabled;
        DPMSGetTimeouts(display, &m_timeouts[0], &m_timeouts[1], &m_timeouts[2]);
        DPMSSetTimeouts(display, 0, 0, 0);
        // Forcing a level needs DPMS enabled.
        DPMSEnable(display);
        DPMSForceLevel(display, DPMSModeOff);
    } else {
        DPMSForceLevel(display, DPMSModeOn);
        if (!m_wasEnabled)
            DPMSDisable(display);
        DPMSSetTimeouts(display, m_timeouts[0], m_timeouts[1], m_timeouts[2]);
    }
    XSync(display, False);
    XSetErrorHandler(previousHandler);
    if (requestError == 0)
        return true;
    *problem = QStringLiteral("the X server refused it, error %1").arg(requestError);
    return false;
}

#else

Dpms::Dpms(const QString &platformName)
    : m_whyNot(platformName == QLatin1String("xcb") ? QStringLiteral("this build has no DPMS")
                                                    : QStringLiteral("no DPMS on %1").arg(platformName))
{
}

Dpms::~Dpms() = default;

bool Dpms::set(bool, QString *problem)
{
    *problem = m_whyNot;
    return false;
}

#endif
