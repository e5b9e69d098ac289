#ifndef ITEMS_TESTHELPER_H
#define ITEMS_TESTHELPER_H

// Shared by the item, editor and storage tests (header only, so the other
// folders can include it too).

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLoggingCategory>
#include <QMutex>
#include <QString>
#include <QStringList>

#include "items/itemadctext.h"
#include "items/itembutton.h"
#include "items/itempagechange.h"
#include "items/itempicture.h"
#include "items/itemstatebutton.h"
#include "items/itemstatepicture.h"
#include "items/itemstatetext.h"
#include "items/itemtext.h"
#include "storage/projectdirectory.h"

#include <functional>
#include <memory>

// Changes an item's record as an editor would, without rendering it.
inline void editRecord(Item *item, const std::function<void(ItemRecord &)> &change)
{
    ItemRecord record = item->record();
    change(record);
    item->setRecord(record);
}

// Records every log line while it lives, debug lines included.
class LogCapture
{
public:
    LogCapture()
    {
        current() = this;
        previous = qInstallMessageHandler(&LogCapture::handler);
        // The test environment switches debug lines off; these tests read them.
        previousFilter() = QLoggingCategory::installFilter(&LogCapture::filter);
    }
    ~LogCapture()
    {
        QLoggingCategory::installFilter(previousFilter());
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    int count(const QString &start) const
    {
        int n = 0;
        for (const QString &line : lines)
            n += line.startsWith(start) ? 1 : 0;
        return n;
    }
    QStringList lines;
    QList<QtMsgType> types;

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static QLoggingCategory::CategoryFilter &previousFilter()
    {
        static QLoggingCategory::CategoryFilter filter = nullptr;
        return filter;
    }
    static void filter(QLoggingCategory *category)
    {
        if (previousFilter())
            previousFilter()(category);
        if (qstrcmp(category->categoryName(), "default") == 0)
            category->setEnabled(QtDebugMsg, true);
    }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (LogCapture *c = current()) {
            c->lines.append(message);
            c->types.append(type);
        }
    }
    QtMessageHandler previous = nullptr;
};

// Writes a plain picture into the project's own icon folder and answers its
// path there.
inline QString writeProjectPicture(const QString &name, int w, int h, const QColor &color,
                                   const QString &folder = QStringLiteral("icons/project/"))
{
    const QString dir = projectDirectory() + folder;
    QDir().mkpath(dir);
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    const QString path = dir + name;
    image.save(path, "PNG");
    return path;
}

// A fresh item of the kind its saved type names (ADCText for anything unknown).
inline std::unique_ptr<Item> makeKind(const QString &kind)
{
    if (kind == QLatin1String("PageChange"))
        return std::make_unique<ItemPageChange>(nullptr, nullptr);
    if (kind == QLatin1String("Picture"))
        return std::make_unique<ItemPicture>(nullptr, nullptr);
    if (kind == QLatin1String("StatePicture"))
        return std::make_unique<ItemStatePicture>(nullptr, nullptr);
    if (kind == QLatin1String("Button"))
        return std::make_unique<ItemButton>(nullptr, nullptr);
    if (kind == QLatin1String("StateButton"))
        return std::make_unique<ItemStateButton>(nullptr, nullptr);
    if (kind == QLatin1String("Text"))
        return std::make_unique<ItemText>(nullptr, nullptr);
    if (kind == QLatin1String("StateText"))
        return std::make_unique<ItemStateText>(nullptr, nullptr);
    return std::make_unique<ItemADCText>(nullptr, nullptr);
}

#endif // ITEMS_TESTHELPER_H
