#pragma once

#include <QFont>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace vocalyn::directory {

// Paints the address book's rows, 35 pixels high: the row icon and the entry text, on white, or
// for the selected row on a cream-to-amber gradient inside a rounded outline.
class AddressRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 35;

    explicit AddressRowDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // One row without the focus rectangle, which the style adds afterwards.
    void ListBox1DrawItem(QPainter& canvas, const QRect& rect, const QString& entry,
                          bool selected) const;

private:
    QPixmap icon_; // null when the picture is missing: rows then show none
    QFont font_;
};

} // namespace vocalyn::directory
