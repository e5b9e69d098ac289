#ifndef VALUETEMPLATE_H
#define VALUETEMPLATE_H

#include "valuepath.h"

#include <QString>

// The templates of Home Assistant discovery documents that the bridge can
// follow without a template engine: a value template that names the payload
// or one place in its JSON,
//   {{ value }}   {{ value_json.a.b }}   {{value_json['A']['B']}}   {{ value_json.a[0] }}
// with no filter but those that leave a number as it is (| float, | round(1));
// a command template that fills in {{ value }} and nothing else.
class ValueTemplate
{
public:
    // False, with the reason, for any other template.
    static bool path(const QString &text, ValuePath *path, QString *reason);
    // The command template with %v for {{ value }}.
    static bool command(const QString &text, QString *result, QString *reason);
};

#endif // VALUETEMPLATE_H
