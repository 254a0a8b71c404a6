#include "server/qt/client_list_model.h"

#include <algorithm>

namespace server {

ClientListModel::ClientListModel(CNewView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {
    repaint_.setSingleShot(true);
    repaint_.setInterval(kRepaintIntervalMs);
    connect(&repaint_, &QTimer::timeout, this, &ClientListModel::flushChanges);
    view_.addObserver(this);
}

ClientListModel::~ClientListModel() {
    view_.removeObserver(this);
}

int ClientListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.rows().size());
}

int ClientListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ClientListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        const ClientRow& row = view_.rows()[static_cast<std::size_t>(index.row())];
        return QString::fromStdString(row.cells[static_cast<std::size_t>(index.column())]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant ClientListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        const std::string_view title = kColumnTitles[static_cast<std::size_t>(section)];
        return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

void ClientListModel::flushChanges() {
    repaint_.stop();
    if (dirtyFirst_ < 0) {
        return;
    }
    const int last = std::min(dirtyLast_, rowCount() - 1);
    const int first = dirtyFirst_;
    dirtyFirst_ = dirtyLast_ = -1;
    if (first <= last) {
        emit rowsChanged(first, last);
    }
}

void ClientListModel::rowAboutToBeAdded(std::size_t index) {
    const int row = static_cast<int>(index);
    beginInsertRows({}, row, row);
}

void ClientListModel::rowAdded(std::size_t, const ClientRow&) {
    endInsertRows();
}

void ClientListModel::rowChanged(std::size_t index, int, const ClientRow&) {
    // Runs for every acknowledged block: only note the row.
    const int row = static_cast<int>(index);
    if (dirtyFirst_ < 0) {
        dirtyFirst_ = dirtyLast_ = row;
        repaint_.start();
        return;
    }
    dirtyFirst_ = std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
}

void ClientListModel::tagChanged(std::size_t index, const ClientRow&) {
    const int row = static_cast<int>(index);
    emit dataChanged(this->index(row, 0), this->index(row, kColumnCount - 1));
}

void ClientListModel::rowAboutToBeRemoved(std::size_t index, const ClientRow&) {
    const int row = static_cast<int>(index);
    beginRemoveRows({}, row, row);
}

void ClientListModel::rowRemoved(std::size_t index) {
    endRemoveRows();
    if (dirtyFirst_ < 0) {
        return;
    }
    // The waiting range follows the rows below the removed one.
    const int row = static_cast<int>(index);
    if (dirtyFirst_ > row) {
        --dirtyFirst_;
    }
    if (dirtyLast_ >= row) {
        --dirtyLast_;
    }
    if (dirtyLast_ < dirtyFirst_) {
        dirtyFirst_ = dirtyLast_ = -1;
        repaint_.stop();
    }
}

void ClientListModel::columnWidthChanged(int column, int width) {
    emit widthChanged(column, width);
}

void ClientListModel::graphicChanged(bool on) {
    emit graphicFlagChanged(on);
}

}  // namespace server
