#include "diagnose/window/diagnosis_view.h"

#include "base/outside_text.h"

#include "diagnose/window/diagnose_texts.h"
#include "ui/status_icons.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>

namespace diagnose {

namespace {

// Space around a wrapped line's text, in pixels.
constexpr int Margin = 4;

ui::StatusIcon iconOf(RowStatus status) {
    switch (status) {
    case RowStatus::Ready:
        return ui::StatusIcon::Good;
    case RowStatus::NeedsAction:
        return ui::StatusIcon::Attention;
    case RowStatus::NotAScanner:
        break;
    }
    return ui::StatusIcon::Neutral;
}

// A row is the same row from one look to the next by where it is and what it is.
QString keyOf(const DiagnosisRow& row) {
    return row.where + u'\t' + row.device;
}

bool sameRows(const QList<DiagnosisRow>& a, const QList<DiagnosisRow>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.status == y.status && keyOf(x) == keyOf(y) && x.paragraph == y.paragraph;
           });
}

// Draws the lines under a row wrapped across the view's width, and asks for the height that
// takes; everything else as the style draws it.
class WrappingDelegate final : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QTreeView* view) : QStyledItemDelegate(view), view_(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!index.data(DiagnosisView::WrappedRole).toBool())
            return QStyledItemDelegate::sizeHint(option, index);
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        const int width = textWidth();
        const QRect needed = QFontMetrics(styled.font)
                                 .boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap,
                                               index.data().toString());
        return {width + 2 * Margin, needed.height() + 2 * Margin};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!index.data(DiagnosisView::WrappedRole).toBool()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        const QString text = styled.text;
        styled.text.clear();

        QStyle* style = view_->style();
        style->drawControl(QStyle::CE_ItemViewItem, &styled, painter, view_);
        painter->save();
        painter->setFont(styled.font);
        painter->setPen(styled.state & QStyle::State_Selected
                            ? styled.palette.color(QPalette::HighlightedText)
                            : styled.palette.color(QPalette::Text));
        // Within the visible width, as sizeHint() measured it.
        QRect textRect = styled.rect.adjusted(Margin, Margin, -Margin, -Margin);
        textRect.setWidth(std::min(textRect.width(), textWidth()));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        painter->restore();
    }

private:
    // A line under a row spans the columns, from one indentation in.
    int textWidth() const {
        return std::max(120, view_->viewport()->width() - view_->indentation() - 2 * Margin);
    }

    QTreeView* view_;
};

} // namespace

DiagnosisView::DiagnosisView(QWidget* parent)
    : QTreeView(parent), model_(new QStandardItemModel(this)) {
    setModel(model_);
    setItemDelegate(new WrappingDelegate(this));
    setUniformRowHeights(false);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(16, 16));
    model_->setHorizontalHeaderLabels(
        {diagnosisColumnTitle(State), diagnosisColumnTitle(Where), diagnosisColumnTitle(Device)});
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    setColumnWidth(State, fontMetrics().horizontalAdvance(QStringLiteral("not a scanner")) + 64);
    setColumnWidth(Where,
                   fontMetrics().horizontalAdvance(QStringLiteral("HID point-of-sale")) + 24);
}

void DiagnosisView::setRows(const QList<DiagnosisRow>& rows) {
    if (sameRows(rows, rows_) && model_->rowCount() > 0)
        return;
    // Opened and closed rows stay as the person left them; a new row that needs action opens.
    QSet<QString> known, opened;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QString key = model_->item(row)->data(Qt::UserRole).toString();
        known.insert(key);
        if (isExpanded(model_->index(row, 0)))
            opened.insert(key);
    }
    rows_ = rows;
    model_->removeRows(0, model_->rowCount());
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const DiagnosisRow& row : rows) {
        auto* state =
            new QStandardItem(ui::statusIcon(iconOf(row.status)), rowStatusWord(row.status));
        state->setData(keyOf(row), Qt::UserRole);
        state->setData(rowAccessibleText(row), Qt::AccessibleTextRole);
        // Device names come from the devices: never taken for markup.
        const QString tip = base::outside_text::toolTip(row.paragraph);
        state->setToolTip(tip);
        auto* where = new QStandardItem(row.where);
        auto* device = new QStandardItem(row.device);
        where->setToolTip(tip);
        device->setToolTip(tip);
        const auto line = [&](const QString& text, bool rule) {
            auto* item = new QStandardItem(text);
            item->setData(true, WrappedRole);
            item->setData(text, Qt::AccessibleTextRole);
            if (rule) {
                // A block of its own: the fixed-width font on a tint.
                item->setFont(fixed);
                item->setBackground(palette().alternateBase());
                item->setData(diagnosisRuleDescription(), Qt::AccessibleDescriptionRole);
            }
            state->appendRow(item);
        };
        line(row.before.trimmed(), false);
        if (!row.rule.isEmpty())
            line(row.rule, true);
        if (!row.after.trimmed().isEmpty())
            line(row.after.trimmed(), false);
        model_->appendRow({state, where, device});
        const QModelIndex index = model_->indexFromItem(state);
        for (int child = 0; child < state->rowCount(); ++child)
            setFirstColumnSpanned(child, index, true);
        const QString key = keyOf(row);
        if (known.contains(key) ? opened.contains(key) : row.status == RowStatus::NeedsAction)
            expand(index);
    }
}

QString DiagnosisView::selectedText() const {
    QStringList lines;
    QModelIndexList selected = selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) {
        const int aRow = a.parent().isValid() ? a.parent().row() : a.row();
        const int bRow = b.parent().isValid() ? b.parent().row() : b.row();
        if (aRow != bRow)
            return aRow < bRow;
        return (a.parent().isValid() ? a.row() + 1 : 0) < (b.parent().isValid() ? b.row() + 1 : 0);
    });
    for (const QModelIndex& index : selected)
        lines << index.data(Qt::AccessibleTextRole).toString();
    return lines.join(u'\n');
}

void DiagnosisView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        if (const QString text = selectedText(); !text.isEmpty())
            QApplication::clipboard()->setText(text);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool DiagnosisView::viewportEvent(QEvent* event) {
    // The wrapped lines take another height at another width (the window resized, a scroll bar
    // come or gone): laid out again once the resizing rests.
    if (event->type() == QEvent::Resize && !relayout_) {
        relayout_ = true;
        QTimer::singleShot(0, this, [this] {
            relayout_ = false;
            doItemsLayout();
        });
    }
    return QTreeView::viewportEvent(event);
}

} // namespace diagnose
