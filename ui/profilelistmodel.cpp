#include "ui/profilelistmodel.h"

ProfileListModel::ProfileListModel(QObject* parent) : QAbstractListModel(parent) {}

void ProfileListModel::setEntries(const QVector<ProfileStore::Entry>& entries) {
    beginResetModel();
    entries_ = entries;
    endResetModel();
}

QString ProfileListModel::fileNameAt(int row) const {
    return row >= 0 && row < entries_.size() ? entries_.at(row).fileName : QString();
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() < 0 || index.row() >= entries_.size()) {
        return QVariant();
    }
    const ProfileStore::Entry& entry = entries_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return entry.text;
    case FileNameRole:
        return entry.fileName;
    default:
        return QVariant();
    }
}
