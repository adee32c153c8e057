#include "diagnose/window/diagnosis_rows.h"

#include "base/com_ports.h"
#include "base/outside_text.h"
#include "diagnose/window/diagnose_texts.h"
#include "ui/window_texts.h"

#include <QStringList>

#include <algorithm>

namespace diagnose {

namespace {

// The paragraph cut around `rule` where it stands on a line of its own (or ends the paragraph,
// indented); whole when it is not there.
void cutAround(DiagnosisRow& row, const QString& paragraph, const QString& rule) {
    row.paragraph = paragraph;
    row.before = paragraph;
    if (rule.isEmpty())
        return;
    for (const QString& framed : {u'\n' + rule + u'\n', QStringLiteral("\n    ") + rule}) {
        const qsizetype at = paragraph.indexOf(framed);
        if (at < 0)
            continue;
        row.before = paragraph.left(at);
        row.rule = rule;
        row.after = paragraph.mid(at + framed.size());
        return;
    }
}

RowStatus serialStatus(const SerialFinding& finding) {
    if (finding.device.console)
        return RowStatus::NotAScanner;
    const bool opens =
        finding.number > 0 && finding.present && finding.mayOpen && finding.holders.isEmpty();
    return opens ? RowStatus::Ready : RowStatus::NeedsAction;
}

QString serialWhere(const SerialFinding& finding) {
    if (finding.number > 0)
        return base::com_ports::name(finding.number);
    return noComNumberWord();
}

DiagnosisRow serialRow(const SerialFinding& finding) {
    DiagnosisRow row;
    row.status = serialStatus(finding);
    row.where = serialWhere(finding);
    row.device = finding.device.node.isEmpty()
                     ? (finding.overridePath ? base::outside_text::visible(*finding.overridePath)
                                             : QString())
                     : finding.device.displayName();
    QString rule;
    if (!finding.device.vendorId.isEmpty())
        rule = ui::modemManagerRule(finding.device.vendorId, finding.device.productId);
    cutAround(row, serialFindingText(finding), rule);
    return row;
}

DiagnosisRow hidRow(const devices::HidInput& input) {
    DiagnosisRow row;
    const bool pointOfSale = input.kind == devices::HidKind::PointOfSaleScanner;
    const bool readable = pointOfSale ? input.rawReadable : input.eventReadable;
    row.status = readable ? RowStatus::Ready : RowStatus::NeedsAction;
    row.where = hidKindWord(input.kind);
    row.device = base::outside_text::visible(input.description());
    cutAround(row, hidFindingText(input), udevRuleFor(input));
    return row;
}

} // namespace

QString diagnosisText(const Diagnosis& diagnosis) {
    QStringList paragraphs;
    for (const DiagnosisRow& row : diagnosisRows(diagnosis))
        paragraphs << row.paragraph;
    return paragraphs.join(QStringLiteral("\n\n"));
}

QList<DiagnosisRow> diagnosisRows(const Diagnosis& diagnosis) {
    QList<DiagnosisRow> rows;
    if (diagnosis.quietPort) {
        const bool keyboardScanner = std::any_of(
            diagnosis.hid.begin(), diagnosis.hid.end(), [](const devices::HidInput& input) {
                return input.kind == devices::HidKind::KeyboardScanner;
            });
        if (const QString quiet = quietPortText(*diagnosis.quietPort, keyboardScanner);
            !quiet.isEmpty()) {
            DiagnosisRow row;
            row.status = RowStatus::NeedsAction;
            row.where = base::com_ports::name(diagnosis.quietPort->number);
            row.device = openPortWord();
            row.before = row.paragraph = quiet;
            rows << row;
        }
    }
    for (const SerialFinding& finding : diagnosis.serial)
        rows << serialRow(finding);
    int keyboards = 0;
    for (const devices::HidInput& input : diagnosis.hid) {
        if (input.isScanner())
            rows << hidRow(input);
        else
            ++keyboards;
    }
    if (rows.isEmpty()) {
        DiagnosisRow row;
        row.status = RowStatus::NeedsAction;
        row.before = row.paragraph = nothingConnectedText();
        rows << row;
    }
    if (keyboards > 0) {
        DiagnosisRow row;
        row.status = RowStatus::NotAScanner;
        row.where = hidKindWord(devices::HidKind::Keyboard);
        row.device = keyboardsCountText(keyboards);
        row.before = row.paragraph = keyboardsNotListedText(keyboards);
        rows << row;
    }
    return rows;
}

} // namespace diagnose
