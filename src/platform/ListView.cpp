#include "platform/ListView.h"

#include "platform/AppError.h"

#include <QHeaderView>

namespace {

constexpr int kKeyRole = Qt::UserRole;

} // namespace

ListView::ListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    // The columns keep the widths they are given; the rest of the list stays blank.
    header()->setStretchLastSection(false);
}

void ListView::SetColumns(const QList<Column>& columns)
{
    QStringList headers;
    for (const Column& column : columns)
        headers << column.header;
    setColumnCount(static_cast<int>(columns.size()));
    setHeaderLabels(headers);
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, columns.at(i).width);
}

void ListView::Clear()
{
    qDeleteAll(pending_);
    pending_.clear();
    index_.clear();
    clear();
}

QTreeWidgetItem* ListView::Add(const QString& key, const QString& text)
{
    if (index_.contains(key))
        throw AppError(QStringLiteral("The list already holds an entry with the key \"%1\".").arg(key).toStdString());
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, kKeyRole, key);
    index_.insert(key, item);
    if (fillings_ > 0)
        pending_.append(item);
    else
        addTopLevelItem(item);
    return item;
}

QTreeWidgetItem* ListView::Find(const QString& key) const
{
    return index_.value(key, nullptr);
}

QTreeWidgetItem* ListView::SelectedItem() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : items.constFirst();
}

void ListView::Select(QTreeWidgetItem* item)
{
    if (!item) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    scrollToItem(item);
}

QString ListView::Key(const QTreeWidgetItem* item)
{
    return item->data(0, kKeyRole).toString();
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    emit DblClick();
}

void ListView::Flush()
{
    addTopLevelItems(pending_);
    pending_.clear();
}
