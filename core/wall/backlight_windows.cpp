#include "core/wall/backlight.h"

#include <QDir>

// Windows lets a program switch no backlight, and its monitor-off message
// comes back with no word of whether the monitor went dark or will wake: the
// screen saver only blacks the screen. Windows' power plan ("Turn off the
// display after") switches the display off and wakes it at a touch. Nothing
// is switched, so nothing is recorded and nothing needs undoing after a crash.

QString Backlight::defaultClassDirectory()
{
    return qEnvironmentVariable("QALIX_BACKLIGHT_DIR");
}

QString Backlight::defaultStateFile()
{
    return QDir::temp().filePath(QStringLiteral("qalix-plus-control-backlight"));
}

Backlight::Backlight(const QString &, const QString &stateFile, Dpms, const QString &)
    : m_stateFile(stateFile)
    , m_whyNot(QStringLiteral("Backlight: Windows has none the panel may switch; the screen saver only blacks the "
                              "screen (Windows' power plan switches the display off)"))
{
}

Backlight::~Backlight() = default;

QString Backlight::target() const
{
    return QString();
}

bool Backlight::switchOff(QString *)
{
    return true; // whyItStaysOn() has said so at the start
}

bool Backlight::switchOn(QString *)
{
    return true;
}

bool Backlight::restoreRecorded(const QString &, const QString &, QString *)
{
    return true;
}

void Backlight::restoreInEmergency()
{
}
