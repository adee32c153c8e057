#include "app/app_texts.h"

#include "base/outside_text.h"
#include "devices/devices_problem.h"

namespace app {

QString devicesProblemText(const devices::DevicesProblem& problem) {
    using Kind = devices::DevicesProblem::Kind;
    const QString path = base::outside_text::visible(problem.path);
    switch (problem.kind) {
    case Kind::TableNotRegular:
        return QStringLiteral("%1 is not a regular file; COM numbers are not kept").arg(path);
    case Kind::TableTooLarge:
        return QStringLiteral("the table of COM numbers %1 is larger than 1 MiB and cannot be "
                              "one; the file is written afresh")
            .arg(path);
    case Kind::TableDamaged:
        return QStringLiteral("the table of COM numbers %1 is damaged: %2 line(s) left out; the "
                              "file is written afresh")
            .arg(path, QString::number(problem.badLines));
    case Kind::TableUnreadable:
        return QStringLiteral("cannot read the table of COM numbers %1 (%2); devices get new "
                              "numbers and the file is written afresh")
            .arg(path, problem.reason);
    case Kind::TableUnwritable:
        return QStringLiteral("cannot write the table of COM numbers %1 (%2); the numbers hold "
                              "for this run only")
            .arg(path, problem.reason);
    case Kind::NoDevWatch:
        return QStringLiteral("cannot watch /dev; serial devices plugged in later are not seen "
                              "until the program starts again");
    }
    return {};
}

} // namespace app
