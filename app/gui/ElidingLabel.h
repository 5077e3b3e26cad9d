#pragma once

#include <QLabel>
#include <QString>

namespace sequora::gui {

/// A one-line label for the status bar that shortens its text with "…" when the bar is too
/// narrow for it, instead of cutting it off at the window's edge; the whole text stays
/// readable in its tool tip.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    /// `mode` says where the text is shortened.
    ElidingLabel(Qt::TextElideMode mode, QWidget* parent);

    /// Shows `text`, shortened to the label's width when needed.
    void SetFullText(const QString& text);
    /// The text as given, whatever is shown.
    QString FullText() const { return mFullText; }

    /// Wide enough for the whole text.
    QSize sizeHint() const override;
    /// A few characters: the label gives way before the window's edge cuts anything.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowElided();

    const Qt::TextElideMode mMode;
    QString mFullText;
};

}  // namespace sequora::gui
