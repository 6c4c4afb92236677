#pragma once

#include "profiles/profilestore.h"

#include <QAbstractListModel>
#include <QVector>

// The stored profiles as the profile list shows them: one row per file, its label as text and
// its file name under FileNameRole, in the store's order. It keeps its own copy of the rows, so
// a view never reads a store in the middle of a scan.
//
// Threading: GUI thread.
class ProfileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr int FileNameRole = Qt::UserRole + 1; // the row's file name

    explicit ProfileListModel(QObject* parent = nullptr);

    // Shows these rows instead of the ones before; a view's current row is reset.
    void setEntries(const QVector<ProfileStore::Entry>& entries);
    // The file name of a row, empty for a row that does not exist.
    QString fileNameAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QVector<ProfileStore::Entry> entries_;
};
