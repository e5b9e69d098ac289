#include "core/project/itemelement.h"

#include "core/project/picturenames.h"
#include "core/project/xmlscanner.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace {

const char *const fieldTags[] = {"x",
                                 "y",
                                 "w",
                                 "h",
                                 "image_active",
                                 "image_inactive",
                                 "image_unknown",
                                 "text_active",
                                 "text_inactive",
                                 "text_error",
                                 "text_bold",
                                 "text_italic",
                                 "text_color",
                                 "font_size",
                                 "digits",
                                 "page_id",
                                 "port",
                                 "type"};

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

template<typename Tag>
int ItemElement::fieldOf(Tag tag)
{
    // Called for every child of every item: the lengths rule out most tags
    // without a comparison.
    static const auto lengths = [] {
        std::array<int, FieldCount> sizes{};
        for (int f = 0; f < FieldCount; ++f)
            sizes[size_t(f)] = int(std::strlen(fieldTags[f]));
        return sizes;
    }();
    for (int f = 0; f < FieldCount; ++f) {
        if (tag.size() == lengths[size_t(f)] && tag == QLatin1String(fieldTags[f]))
            return f;
    }
    return -1;
}

ItemElement ItemElement::fromFields(const QString (&fields)[FieldCount])
{
    ItemElement element;
    element.type = fields[FieldType];
    element.x = ItemRecord::parseInt(fields[FieldX]);
    element.y = ItemRecord::parseInt(fields[FieldY]);
    element.w = ItemRecord::parseInt(fields[FieldW]);
    element.h = ItemRecord::parseInt(fields[FieldH]);

    ItemRecord &r = element.record;
    r.imageActive = fields[FieldImageActive];
    r.imageInactive = fields[FieldImageInactive];
    r.imageUnknown = fields[FieldImageUnknown];
    r.port = fields[FieldPort];
    r.fontSize = ItemRecord::parseInt(fields[FieldFontSize]);
    r.textActive = ItemRecord::decodeText(fields[FieldTextActive]);
    r.textInactive = ItemRecord::decodeText(fields[FieldTextInactive]);
    r.textError = ItemRecord::decodeText(fields[FieldTextError]);
    r.digits = ItemRecord::parseInt(fields[FieldDigits]);
    if (r.digits < 0)
        r.digits = 2;
    r.color = ItemRecord::parseInt(fields[FieldTextColor]);
    r.bold = fields[FieldTextBold] == QLatin1String("1");
    r.italic = fields[FieldTextItalic] == QLatin1String("1");
    r.pageId = fields[FieldPageId];
    return element;
}

template<typename Reader>
bool ItemElement::readText(Reader &reader, QString *text)
{
    QString result;
    QString run;
    bool sure = true;
    int depth = 1;
    // As trimmed() would judge it, without a copy for every field.
    const auto endRun = [&] {
        if (run.isEmpty())
            return;
        if (std::any_of(run.cbegin(), run.cend(), [](QChar c) { return !c.isSpace(); }))
            result += run;
        run.clear();
    };
    while (depth > 0 && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::Characters:
            if constexpr (std::is_same_v<Reader, XmlScanner>) {
                // The scanner gives a whole run as one token, and knows
                // whether it is all white space.
                if (reader.textHasNonSpace())
                    result += reader.text();
            } else {
                if (reader.isCDATA())
                    sure = false;
                // The stream may hand one run over in several pieces.
                run += reader.text();
            }
            continue;
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::EntityReference:
            sure = false;
            break;
        case QXmlStreamReader::Invalid:
            depth = 0;
            break;
        default: // comments and processing instructions end a run too
            break;
        }
        endRun();
    }
    endRun();
    *text = result;
    return sure;
}

template<typename Reader>
ItemElement ItemElement::read(Reader &reader, bool *sure)
{
    QString fields[FieldCount];
    bool found[FieldCount] = {};
    bool allSure = true;
    while (reader.readNextStartElement()) {
        const int f = fieldOf(reader.qualifiedName());
        // The first child of a name counts, as for any look-up by name.
        if (f < 0 || found[f]) {
            reader.skipCurrentElement();
            continue;
        }
        found[f] = true;
        allSure = readText(reader, &fields[f]) && allSure;
    }
    if (sure && !allSure)
        *sure = false;
    return fromFields(fields);
}

template bool ItemElement::readText(QXmlStreamReader &, QString *);
template bool ItemElement::readText(XmlScanner &, QString *);
template ItemElement ItemElement::read(QXmlStreamReader &, bool *);
template ItemElement ItemElement::read(XmlScanner &, bool *);

ItemElement ItemElement::fromNode(const QDomNode &node)
{
    QString fields[FieldCount];
    bool found[FieldCount] = {};
    // One walk over the children: looking every property up by name would
    // scan all of them again for each.
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        const QDomElement element = child.toElement();
        const QString tag = element.tagName();
        const int f = fieldOf(QStringView(tag));
        if (f < 0 || found[f])
            continue;
        found[f] = true;
        fields[f] = element.text();
    }
    return fromFields(fields);
}

QList<QPair<QString, QString>> ItemElement::children(QStringList &fileList) const
{
    const ItemRecord &r = record;
    QList<QPair<QString, QString>> out;
    const auto add = [&out](int field, const QString &text) { out.append({QLatin1String(fieldTags[field]), text}); };
    add(FieldX, QString::number(x));
    add(FieldY, QString::number(y));
    add(FieldW, QString::number(w));
    add(FieldH, QString::number(h));
    add(FieldImageActive, storedPictureName(r.imageActive, true));
    add(FieldImageInactive, storedPictureName(r.imageInactive, true));
    add(FieldImageUnknown, storedPictureName(r.imageUnknown, true));
    add(FieldTextActive, ItemRecord::encodeText(r.textActive));
    add(FieldTextInactive, ItemRecord::encodeText(r.textInactive));
    add(FieldTextError, ItemRecord::encodeText(r.textError));
    add(FieldTextBold, flag(r.bold));
    add(FieldTextItalic, flag(r.italic));
    add(FieldTextColor, QString::number(uint(r.color)));
    add(FieldFontSize, QString::number(r.fontSize));
    add(FieldDigits, QString::number(r.digits));
    add(FieldPageId, r.pageId);
    for (const QString *image : {&r.imageActive, &r.imageInactive, &r.imageUnknown}) {
        const QString file = storedPictureName(*image, false);
        if (!file.isEmpty() && !fileList.contains(file))
            fileList.append(file);
    }
    add(FieldPort, r.port);
    if (!type.isEmpty())
        add(FieldType, type);
    return out;
}

void ItemElement::save(QDomDocument &document, QDomElement &element, QStringList &fileList) const
{
    for (const auto &child : children(fileList)) {
        QDomElement e = document.createElement(child.first);
        element.appendChild(e);
        // A null text leaves the element without a text node.
        if (!child.second.isNull())
            e.appendChild(document.createTextNode(child.second));
    }
}

void ItemElement::write(QXmlStreamWriter &writer, QStringList &fileList) const
{
    for (const auto &child : children(fileList)) {
        if (child.second.isEmpty())
            writer.writeEmptyElement(child.first);
        else
            writer.writeTextElement(child.first, child.second);
    }
}

bool ItemElement::clampToDrawable()
{
    const ItemElement read = *this;
    x = qBound(-maxExtent, x, maxExtent);
    y = qBound(-maxExtent, y, maxExtent);
    w = qMin(w, maxExtent);
    h = qMin(h, maxExtent);
    record.fontSize = qMin(record.fontSize, ItemRecord::fontSizeMaximum);
    return *this != read;
}

bool ItemElement::operator==(const ItemElement &other) const
{
    return type == other.type && x == other.x && y == other.y && w == other.w && h == other.h && record == other.record;
}
