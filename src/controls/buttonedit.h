#pragma once

// File-name edit with a button (16 x 16 picture) at its right end inside the
// edit. No input validation. Writing the text folds line breaks into blanks.
//
// Events (see controlenv.h): OnButtonClick(Sender, PopupPoint) when the user
// clicks the button; the edit takes the focus first (and the event is not
// raised when the focus cannot leave the field that holds it). PopupPoint is
// the edit's bottom-left corner in its container's coordinates.

#include <QLineEdit>

#include <functional>

class QToolButton;

namespace kelvalog {

class TButtonEdit : public QLineEdit
{
public:
    explicit TButtonEdit(QWidget* Parent = nullptr);

    bool ShowButton() const { return FShowButton; }
    void setShowButton(bool On);
    QToolButton* Button() const { return FButton; }

    // Writes the text with its line breaks folded (see FoldLineBreaks).
    void setText(const QString& Text);

    // A run of line breaks becomes one blank, or nothing when a blank is
    // already next to it.
    static QString FoldLineBreaks(const QString& Text);

    std::function<void(QObject* Sender, QPoint PopupPoint)> OnButtonClick;

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void buttonClicked();
    void placeButton();

    QToolButton* FButton = nullptr;
    bool FShowButton = true;
};

} // namespace kelvalog
