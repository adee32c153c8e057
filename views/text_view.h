#pragma once

#include <QString>

namespace views {

// The operations the program uses on its two data views. Positions count characters; the caret
// position SelStart counts the characters before the caret (0 is the start) and SelLength the
// characters selected after it. Line breaks are the two characters CR LF.
class TextView {
public:
    virtual ~TextView() = default;

    virtual QString Text() const = 0;
    // Replaces the whole text; the caret goes to the start with nothing selected.
    virtual void setText(const QString& text) = 0;
    virtual int TextLength() const { return Text().size(); }

    virtual int SelStart() const = 0;
    // Moves the caret (clamped to 0..length) and selects nothing.
    virtual void setSelStart(int start) = 0;

    virtual int SelLength() const = 0;
    // Selects characters after the caret (clamped to the end of the text).
    virtual void setSelLength(int length) = 0;

    // Replaces the selection with the text (inserts at the caret when nothing is selected) and
    // leaves the caret after the inserted text with nothing selected.
    virtual void setSelText(const QString& text) = 0;
};

// A view that is nothing but its text, caret and selection.
class PlainTextView : public TextView {
public:
    QString Text() const override { return text_; }
    void setText(const QString& text) override;
    int TextLength() const override { return static_cast<int>(text_.size()); }
    int SelStart() const override { return selStart_; }
    void setSelStart(int start) override;
    int SelLength() const override { return selLength_; }
    void setSelLength(int length) override;
    void setSelText(const QString& text) override;

private:
    QString text_;
    int selStart_ = 0;
    int selLength_ = 0;
};

} // namespace views
