#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QTreeWidget>

// A report-style list: entries with a key, a text and sub-items in the further columns, one
// selected at a time, found by key through an index. A fill of many entries goes through a
// Filling scope, which hands them to the view in one insertion: one by one, the view's
// bookkeeping would dominate a list of 100,000 entries.
class ListView : public QTreeWidget
{
    Q_OBJECT

public:
    struct Column
    {
        QString header;
        int width; // pixels
    };

    explicit ListView(QWidget* parent = nullptr);

    void SetColumns(const QList<Column>& columns);

    void Clear();
    // Appends an entry; a key the list already holds is an AppError.
    QTreeWidgetItem* Add(const QString& key, const QString& text);
    // The entry with that key, or nullptr.
    QTreeWidgetItem* Find(const QString& key) const;
    // The selected entry, or nullptr.
    QTreeWidgetItem* SelectedItem() const;
    // Selects the entry (nullptr selects none) and shows it.
    void Select(QTreeWidgetItem* item);

    static QString Key(const QTreeWidgetItem* item);

    class Filling
    {
    public:
        explicit Filling(ListView& list) : list_(list) { ++list_.fillings_; }
        ~Filling()
        {
            if (--list_.fillings_ == 0)
                list_.Flush();
        }
        Filling(const Filling&) = delete;
        Filling& operator=(const Filling&) = delete;

    private:
        ListView& list_;
    };

signals:
    // A double-click anywhere in the list; the handler looks at the selected entry.
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Flush();

    QHash<QString, QTreeWidgetItem*> index_;
    QList<QTreeWidgetItem*> pending_;
    int fillings_ = 0;
};
