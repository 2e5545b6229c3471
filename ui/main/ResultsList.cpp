#include "ui/main/ResultsList.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/Paths.h"
#include "shell/SharedHelpersGui.h"
#include "ui/main/ResultsAccessible.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

namespace pelidor {

namespace {

// Per-row state bits.
constexpr uint8_t kChecked = 1;
constexpr uint8_t kRemoved = 2;

const char* const kDefaultCaptions[kResultsColumnCount] = {"File Name", "Path", "File Size",
                                                           "Modify time", "Create time"};

QColor bandColor(uint32_t value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// Position of the separator that ends the folder part, or npos.
size_t folderEnd(const std::string& fileName) {
    if constexpr (platform::kPathSep == '\\')
        return fileName.find_last_of("\\:");
    else
        return fileName.rfind(platform::kPathSep);
}

QString decodeBytes(const char* data, size_t size) {
    return QFile::decodeName(QByteArray::fromRawData(data, qsizetype(size)));
}

// The mark of a reference row in the place of its check box: a padlock (the file is
// never ticked, deleted or replaced).
void drawReferenceMark(QPainter* painter, const QRect& box) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x3B, 0x6E, 0xA8);
    const QRectF b(box);
    const qreal w = b.width(), h = b.height();
    const QRectF body(b.left() + w * 0.15, b.top() + h * 0.45, w * 0.7, h * 0.5);
    QPen pen(ink, std::max<qreal>(1.5, w / 9));
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const QRectF shackle(b.left() + w * 0.3, b.top() + h * 0.08, w * 0.4, h * 0.6);
    painter->drawArc(shackle, 0, 180 * 16);
    painter->drawLine(QPointF(shackle.left(), shackle.center().y()),
                      QPointF(shackle.left(), body.top()));
    painter->drawLine(QPointF(shackle.right(), shackle.center().y()),
                      QPointF(shackle.right(), body.top()));
    painter->setPen(Qt::NoPen);
    painter->setBrush(ink);
    painter->drawRoundedRect(body, w * 0.1, w * 0.1);
    painter->restore();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Free text routines

QString NamePart(const std::string& FileName) {
    const size_t pos = folderEnd(FileName);
    if (pos == std::string::npos)
        return decodeBytes(FileName.data(), FileName.size());
    return decodeBytes(FileName.data() + pos + 1, FileName.size() - pos - 1);
}

QString FolderPart(const std::string& FileName) {
    const size_t pos = folderEnd(FileName);
    if (pos == std::string::npos)
        return QString();
    return decodeBytes(FileName.data(), pos + 1);
}

int NaturalCompare(QStringView a, QStringView b) {
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // A run of digits is one number: skip its leading zeros, then the longer run
            // is the greater number, and runs of one length compare digit by digit.
            qsizetype si = i, sj = j;
            while (si < a.size() && a[si] == u'0')
                ++si;
            while (sj < b.size() && b[sj] == u'0')
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (qsizetype k = 0; k < ei - si; ++k)
                if (a[si + k] != b[sj + k])
                    return a[si + k] < b[sj + k] ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

// ---------------------------------------------------------------------------------------
// TResultsModel

struct TResultsModel::Impl {
    std::vector<TFileRow> rows;
    std::vector<uint8_t> state; // kChecked | kRemoved, parallel to rows
    std::vector<uint32_t> seq;  // the place in the default order, parallel to rows
    uint32_t nextSeq = 0;
    int sortColumn = -1; // -1: the default order
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    bool appendedInBracket = false; // rows added inside the open bracket
    int announced = 0;              // rows the attached views know of (rowCount())
    int depth = 0;                  // open update brackets
    int removedPending = 0;         // rows marked removed inside the open bracket
    bool resetPending = false;      // Clear inside the bracket: the views start again
    bool marksChanged = false;      // check marks written inside the bracket
    QLocale locale = QLocale::system();
    QString captions[kResultsColumnCount];
    QString referenceHint;

    bool valid(int row) const { return row >= 0 && size_t(row) < rows.size(); }
    bool live(int row) const { return valid(row) && !(state[size_t(row)] & kRemoved); }
};

TResultsModel::TResultsModel(QObject* parent) : QAbstractTableModel(parent), d(new Impl) {
    for (int i = 0; i < kResultsColumnCount; ++i)
        d->captions[i] = QString::fromLatin1(kDefaultCaptions[i]);
}

TResultsModel::~TResultsModel() {
    delete d;
}

int TResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : d->announced;
}

int TResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultsColumnCount;
}

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= d->announced || !d->live(index.row()))
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return CellText(row, index.column());
    case Qt::ToolTipRole: {
        // A reference row says what that means; name and path cells are often cut short,
        // so their tooltip holds the whole text.
        const bool named = index.column() == colFileName || index.column() == colFolderName;
        QString tip = named ? CellText(row, index.column()) : QString();
        if (d->rows[size_t(row)].Reference && !d->referenceHint.isEmpty())
            tip = tip.isEmpty() ? d->referenceHint : tip + u'\n' + d->referenceHint;
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::CheckStateRole:
        if (index.column() != colFileName)
            return QVariant();
        return (d->state[size_t(row)] & kChecked) ? Qt::Checked : Qt::Unchecked;
    case Qt::BackgroundRole: {
        const TFileRow& r = d->rows[size_t(row)];
        if (r.FileInfo == nullptr || r.BandColor == 0)
            return QVariant();
        return bandColor(r.BandColor);
    }
    default:
        return QVariant();
    }
}

bool TResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != colFileName ||
        index.row() >= d->announced || !d->live(index.row()))
        return false;
    const int row = index.row();
    const bool checked = value.toInt() == Qt::Checked;
    if (IsChecked(row) == checked)
        return true;
    SetChecked(row, checked);
    emit rowChecked(row);
    return true;
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemNeverHasChildren;
    if (!index.isValid() || index.row() >= d->announced || !d->live(index.row()))
        return f;
    f |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == colFileName && !d->rows[size_t(index.row())].Reference)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kResultsColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return d->captions[section];
    // A column's first click sorts it ascending.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return QVariant();
}

void TResultsModel::setColumnCaption(int column, const QString& caption) {
    if (column < 0 || column >= kResultsColumnCount || d->captions[column] == caption)
        return;
    d->captions[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void TResultsModel::setReferenceHint(const QString& hint) {
    d->referenceHint = hint;
}

void TResultsModel::setLocale(const QLocale& locale) {
    d->locale = locale;
    if (d->announced > 0)
        emit dataChanged(index(0, colFileSize), index(d->announced - 1, colCreateDate),
                         {Qt::DisplayRole});
}

void TResultsModel::BeginUpdate() {
    ++d->depth;
}

void TResultsModel::EndUpdate() {
    if (d->depth == 0)
        return;
    if (--d->depth > 0)
        return;
    const int size = int(d->rows.size());
    if (d->removedPending > 0 || d->resetPending) {
        // Drop the removed rows in one pass. Views see a reset; TResultsView keeps its
        // selection and scroll position through RowAfterCompaction.
        beginResetModel();
        if (d->removedPending > 0) {
            size_t out = 0;
            for (size_t i = 0; i < d->rows.size(); ++i) {
                if (d->state[i] & kRemoved)
                    continue;
                d->rows[out] = d->rows[i];
                d->state[out] = d->state[i];
                d->seq[out] = d->seq[i];
                ++out;
            }
            d->rows.resize(out);
            d->state.resize(out);
            d->seq.resize(out);
        }
        d->removedPending = 0;
        d->resetPending = false;
        d->marksChanged = false;
        d->announced = int(d->rows.size());
        endResetModel();
        if (std::exchange(d->appendedInBracket, false) && d->sortColumn >= 0)
            SortRows(d->sortColumn, d->sortOrder);
        return;
    }
    if (size > d->announced) {
        beginInsertRows(QModelIndex(), d->announced, size - 1);
        d->announced = size;
        endInsertRows();
    }
    if (d->marksChanged) {
        d->marksChanged = false;
        if (d->announced > 0)
            emit dataChanged(index(0, 0), index(d->announced - 1, kResultsColumnCount - 1),
                             {Qt::CheckStateRole});
    }
    if (std::exchange(d->appendedInBracket, false) && d->sortColumn >= 0)
        SortRows(d->sortColumn, d->sortOrder);
}

bool TResultsModel::InUpdate() const {
    return d->depth > 0;
}

void TResultsModel::AppendRow(const TFileRow& row) {
    if (d->rows.size() >= size_t(std::numeric_limits<int>::max()))
        return;
    if (d->depth > 0) {
        d->rows.push_back(row);
        d->state.push_back(0);
        d->seq.push_back(d->nextSeq++);
        d->appendedInBracket = true;
        return;
    }
    const int at = int(d->rows.size());
    beginInsertRows(QModelIndex(), at, at);
    d->rows.push_back(row);
    d->state.push_back(0);
    d->seq.push_back(d->nextSeq++);
    d->announced = at + 1;
    endInsertRows();
}

void TResultsModel::Reserve(int rows) {
    if (rows <= 0)
        return;
    d->rows.reserve(size_t(rows));
    d->state.reserve(size_t(rows));
    d->seq.reserve(size_t(rows));
}

void TResultsModel::Clear() {
    if (d->depth > 0) {
        d->rows.clear();
        d->state.clear();
        d->seq.clear();
        d->nextSeq = 0;
        d->appendedInBracket = false;
        d->removedPending = 0;
        d->resetPending = true;
        return;
    }
    d->resetPending = true; // no row keeps its place (RowAfterCompaction)
    beginResetModel();
    d->rows.clear();
    d->state.clear();
    d->seq.clear();
    d->nextSeq = 0;
    d->announced = 0;
    d->removedPending = 0;
    d->resetPending = false;
    d->marksChanged = false;
    endResetModel();
    // Give the memory of a big list back.
    std::vector<TFileRow>().swap(d->rows);
    std::vector<uint8_t>().swap(d->state);
    std::vector<uint32_t>().swap(d->seq);
}

void TResultsModel::RemoveRow(int row) {
    if (!d->live(row))
        return;
    if (d->depth > 0) {
        d->state[size_t(row)] |= kRemoved;
        ++d->removedPending;
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    d->rows.erase(d->rows.begin() + row);
    d->state.erase(d->state.begin() + row);
    d->seq.erase(d->seq.begin() + row);
    d->announced = int(d->rows.size());
    endRemoveRows();
}

void TResultsModel::RemoveRowsIf(const std::function<bool(int row, const TFileRow&)>& pred) {
    if (!pred)
        return;
    BeginUpdate();
    const int size = int(d->rows.size());
    for (int i = 0; i < size; ++i) {
        if ((d->state[size_t(i)] & kRemoved) == 0 && pred(i, d->rows[size_t(i)])) {
            d->state[size_t(i)] |= kRemoved;
            ++d->removedPending;
        }
    }
    EndUpdate();
}

bool TResultsModel::IsRemoved(int row) const {
    return d->valid(row) && (d->state[size_t(row)] & kRemoved);
}

int TResultsModel::RowAfterCompaction(int row) const {
    if (!d->valid(row) || d->resetPending)
        return -1;
    if (d->removedPending == 0)
        return row;
    int removed = 0;
    const uint8_t* s = d->state.data();
    for (int i = 0; i < row; ++i)
        removed += (s[i] & kRemoved) ? 1 : 0;
    return row - removed;
}

int TResultsModel::RowCount() const {
    return int(d->rows.size());
}

const TFileRow* TResultsModel::Row(int row) const {
    return d->valid(row) ? &d->rows[size_t(row)] : nullptr;
}

TFileRow* TResultsModel::Row(int row) {
    return d->valid(row) ? &d->rows[size_t(row)] : nullptr;
}

bool TResultsModel::IsChecked(int row) const {
    return d->valid(row) && (d->state[size_t(row)] & kChecked);
}

void TResultsModel::SetChecked(int row, bool checked) {
    if (!d->valid(row) || (checked && d->rows[size_t(row)].Reference))
        return;
    uint8_t& s = d->state[size_t(row)];
    const uint8_t next = checked ? uint8_t(s | kChecked) : uint8_t(s & ~kChecked);
    if (next == s)
        return;
    s = next;
    if (d->depth > 0) {
        d->marksChanged = true;
        return;
    }
    if (row < d->announced)
        emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

int TResultsModel::CheckedCount() const {
    int count = 0;
    for (const uint8_t s : d->state)
        count += (s & (kChecked | kRemoved)) == kChecked ? 1 : 0;
    return count;
}

std::vector<int> TResultsModel::CheckedRows() const {
    std::vector<int> rows;
    const int size = int(d->state.size());
    for (int i = 0; i < size; ++i)
        if ((d->state[size_t(i)] & (kChecked | kRemoved)) == kChecked)
            rows.push_back(i);
    return rows;
}

void TResultsModel::SetAllChecked(bool checked) {
    BeginUpdate();
    const size_t size = d->rows.size();
    for (size_t i = 0; i < size; ++i) {
        uint8_t& s = d->state[i];
        if ((s & kRemoved) || d->rows[i].FileInfo == nullptr)
            continue;
        const bool tick = checked && !d->rows[i].Reference;
        const uint8_t next = tick ? uint8_t(s | kChecked) : uint8_t(s & ~kChecked);
        if (next != s) {
            s = next;
            d->marksChanged = true;
        }
    }
    EndUpdate();
}

void TResultsModel::InvertChecked() {
    BeginUpdate();
    const size_t size = d->rows.size();
    for (size_t i = 0; i < size; ++i) {
        if ((d->state[i] & kRemoved) || d->rows[i].FileInfo == nullptr || d->rows[i].Reference)
            continue;
        d->state[i] ^= kChecked;
        d->marksChanged = true;
    }
    EndUpdate();
}

BracketKind TResultsModel::Bracket(int row) const {
    if (!d->live(row))
        return BracketKind::None;
    const TFileRow& r = d->rows[size_t(row)];
    if (r.FileInfo == nullptr)
        return BracketKind::None;
    const int size = int(d->rows.size());
    auto inGroup = [&](int i) {
        const TFileRow& o = d->rows[size_t(i)];
        return o.FileInfo != nullptr && o.GroupNo == r.GroupNo;
    };
    int p = row - 1;
    while (p >= 0 && (d->state[size_t(p)] & kRemoved))
        --p;
    int n = row + 1;
    while (n < size && (d->state[size_t(n)] & kRemoved))
        ++n;
    const bool before = p >= 0 && inGroup(p);
    const bool after = n < size && inGroup(n);
    if (before && after)
        return BracketKind::Middle;
    if (after)
        return BracketKind::First;
    if (before)
        return BracketKind::Last;
    return BracketKind::None;
}

int TResultsModel::SortColumn() const {
    return d->sortColumn;
}

Qt::SortOrder TResultsModel::SortOrder() const {
    return d->sortOrder;
}

void TResultsModel::sort(int column, Qt::SortOrder order) {
    SortRows(column, order);
}

int TResultsModel::RowOf(const TDuplicateFile* file) const {
    if (file == nullptr)
        return -1;
    const int size = int(d->rows.size());
    for (int i = 0; i < size; ++i)
        if (d->rows[size_t(i)].FileInfo == file && !(d->state[size_t(i)] & kRemoved))
            return i;
    return -1;
}

bool TResultsModel::SortRows(int column, Qt::SortOrder order) {
    if (d->depth > 0 || column < -1 || column >= kResultsColumnCount)
        return false;
    d->sortColumn = column;
    d->sortOrder = column < 0 ? Qt::AscendingOrder : order;
    const int size = int(d->rows.size());
    if (size < 2) {
        emit rowsSorted();
        return true;
    }

    // The texts to compare, made once per row.
    std::vector<QString> texts;
    if (column == colFileName || column == colFolderName) {
        texts.reserve(size_t(size));
        for (int i = 0; i < size; ++i) {
            const TDuplicateFile* f = d->rows[size_t(i)].FileInfo;
            texts.push_back(f == nullptr ? QString()
                                         : (column == colFileName ? NamePart(f->FileName)
                                                                  : FolderPart(f->FileName))
                                               .toCaseFolded());
        }
    }
    const bool descending = d->sortOrder == Qt::DescendingOrder;
    // Rows without a record come first in either direction.
    const auto compareKeys = [&](int a, int b) -> int {
        const TDuplicateFile* x = d->rows[size_t(a)].FileInfo;
        const TDuplicateFile* y = d->rows[size_t(b)].FileInfo;
        if (x == nullptr || y == nullptr)
            return (x != nullptr) - (y != nullptr);
        int c = 0;
        switch (column) {
        case colFileName:
        case colFolderName:
            c = NaturalCompare(texts[size_t(a)], texts[size_t(b)]);
            break;
        case colFileSize:
            c = (x->FileSize > y->FileSize) - (x->FileSize < y->FileSize);
            break;
        case colLastDate:
            c = (x->LastTime > y->LastTime) - (x->LastTime < y->LastTime);
            break;
        case colCreateDate:
            c = (x->CreateTime > y->CreateTime) - (x->CreateTime < y->CreateTime);
            break;
        default:
            break;
        }
        return descending ? -c : c;
    };
    const auto before = [&](int a, int b) {
        const int c = compareKeys(a, b);
        return c != 0 ? c < 0 : d->seq[size_t(a)] < d->seq[size_t(b)];
    };

    // The groups as they stand: runs of rows with one group number.
    std::vector<std::pair<int, int>> runs; // [first, end)
    for (int i = 0; i < size; ++i)
        if (i == 0 || d->rows[size_t(i)].GroupNo != d->rows[size_t(i - 1)].GroupNo)
            runs.emplace_back(i, i + 1);
        else
            runs.back().second = i + 1;
    std::vector<int> ranked(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        ranked[size_t(i)] = i;
    for (const auto& [first, end] : runs)
        std::sort(ranked.begin() + first, ranked.begin() + end, before);
    std::vector<size_t> runOrder(runs.size());
    for (size_t k = 0; k < runs.size(); ++k)
        runOrder[k] = k;
    std::sort(runOrder.begin(), runOrder.end(), [&](size_t a, size_t b) {
        return before(ranked[size_t(runs[a].first)], ranked[size_t(runs[b].first)]);
    });

    // The new order; each place keeps the band colour its group had there.
    std::vector<int> from; // new row -> old row
    std::vector<uint32_t> bands;
    from.reserve(size_t(size));
    bands.reserve(size_t(size));
    for (size_t k = 0; k < runs.size(); ++k) {
        const auto& run = runs[runOrder[k]];
        const uint32_t band = d->rows[size_t(runs[k].first)].BandColor;
        for (int i = run.first; i < run.second; ++i) {
            from.push_back(ranked[size_t(i)]);
            bands.push_back(band);
        }
    }
    std::vector<int> to(static_cast<size_t>(size)); // old row -> new row
    for (int i = 0; i < size; ++i)
        to[size_t(from[size_t(i)])] = i;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<TFileRow> rows(static_cast<size_t>(size));
    std::vector<uint8_t> state(static_cast<size_t>(size));
    std::vector<uint32_t> seq(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
        const size_t old = size_t(from[size_t(i)]);
        rows[size_t(i)] = d->rows[old];
        rows[size_t(i)].BandColor = bands[size_t(i)];
        state[size_t(i)] = d->state[old];
        seq[size_t(i)] = d->seq[old];
    }
    d->rows.swap(rows);
    d->state.swap(state);
    d->seq.swap(seq);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& index : persistent)
        moved.append(index.row() < size ? this->index(to[size_t(index.row())], index.column())
                                        : QModelIndex());
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit rowsSorted();
    return true;
}

QString TResultsModel::CellText(int row, int column) const {
    if (!d->live(row))
        return QString();
    const TDuplicateFile* file = d->rows[size_t(row)].FileInfo;
    if (file == nullptr)
        return QString();
    switch (column) {
    case colFileName:
        return NamePart(file->FileName);
    case colFolderName:
        return FolderPart(file->FileName);
    case colFileSize:
        return FormatFileSize(file->FileSize, d->locale);
    case colLastDate:
        return DateTimeText(file->LastTime, d->locale);
    case colCreateDate:
        return DateTimeText(file->CreateTime, d->locale);
    default:
        return QString();
    }
}

// ---------------------------------------------------------------------------------------
// Loading and the bulk commands

void AppendGroupRows(TResultsModel& model, const TDuplicateGroup& group, int32_t& count,
                     uint32_t color1, uint32_t color2) {
    TFileRow row;
    row.GroupNo = count;
    row.BandColor = (count & 1) ? color2 : color1;
    for (const auto& file : group) {
        row.FileInfo = file.get();
        model.AppendRow(row);
    }
    ++count;
}

int AppendResultGroups(TResultsModel& model, const TDuplicateResult& groups, int32_t& count,
                       uint32_t color1, uint32_t color2) {
    size_t files = 0;
    for (const auto& group : groups)
        files += group.size();
    model.BeginUpdate();
    model.Reserve(int(std::min<size_t>(size_t(model.RowCount()) + files,
                                       size_t(std::numeric_limits<int>::max()))));
    for (const auto& group : groups)
        AppendGroupRows(model, group, count, color1, color2);
    model.EndUpdate();
    return int(std::min<size_t>(files, size_t(std::numeric_limits<int>::max())));
}

void SelectAllRows(TResultsModel& model) {
    model.SetAllChecked(true);
}

void InvertRows(TResultsModel& model) {
    model.InvertChecked();
}

bool KeepOneRows(TResultsModel& model, int rule) {
    if (rule != 1 && rule != 2 && rule != 4 && rule != 5)
        return false;
    const int size = model.RowCount();
    int first = 0;
    while (first < size && model.IsRemoved(first))
        ++first;
    if (first >= size || model.Row(first)->FileInfo == nullptr)
        return false;

    const bool byCreate = rule == 1 || rule == 2;
    const bool newest = rule == 1 || rule == 4;
    auto timeOf = [byCreate](const TDuplicateFile* f) {
        return byCreate ? f->CreateTime : f->LastTime;
    };

    model.BeginUpdate();
    double v = newest ? 0.0 : 2958465.99999;
    int kept = first;
    int32_t previousGroup = model.Row(first)->GroupNo;
    for (int r = first; r < size; ++r) {
        if (model.IsRemoved(r))
            continue;
        const TFileRow* row = model.Row(r);
        if (row->FileInfo == nullptr)
            continue;
        model.SetChecked(r, true);
        const double t = timeOf(row->FileInfo);
        if (row->GroupNo != previousGroup) {
            v = t;
            model.SetChecked(kept, false);
            kept = r;
        } else if (newest ? t > v : t < v) {
            v = t;
            kept = r;
        }
        previousGroup = row->GroupNo;
    }
    model.SetChecked(kept, false);
    model.EndUpdate();
    return true;
}

// ---------------------------------------------------------------------------------------
// TResultsView

namespace {

// The header, always kHeaderHeight pixels high.
class TResultsHeader : public QHeaderView {
public:
    explicit TResultsHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}
    QSize sizeHint() const override {
        QSize size = QHeaderView::sizeHint();
        size.setHeight(TResultsView::kHeaderHeight);
        return size;
    }
};

} // namespace

// Cells are painted by the view itself (drawRow); the delegate gives the row height and
// turns a click on a check box, or the space bar, into a tick.
class TResultsDelegate : public QStyledItemDelegate {
public:
    explicit TResultsDelegate(TResultsView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const TResultsModel* model = view_->model_;
        const TFileRow* record = model != nullptr ? model->Row(index.row()) : nullptr;
        if (record != nullptr && !model->IsRemoved(index.row()))
            view_->paintCell(painter, option.rect, index.row(), index.column(), *record,
                             option.font);
    }

    // The width fits the cell's text (for fitting a column to its contents).
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const TResultsModel* model = view_->model_;
        const QString text =
            model != nullptr ? model->CellText(index.row(), index.column()) : QString();
        // The text's left edge as paintCell places it, the text, the right margin.
        const int left = index.column() == colFileName
                             ? TResultsView::kCheckBoxLeft + TResultsView::kCheckBoxSize +
                                   TResultsView::kTextMargin / 2
                             : TResultsView::kTextMargin;
        const int width =
            left + option.fontMetrics.horizontalAdvance(text) + TResultsView::kTextMargin / 2;
        return {width, TResultsView::kRowHeight};
    }

    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        return nullptr;
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (model == nullptr || !index.isValid())
            return false;
        const QModelIndex box = index.sibling(index.row(), colFileName);
        if (!(box.flags() & Qt::ItemIsUserCheckable))
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || index.column() != colFileName ||
                !TResultsView::checkBoxRect(option.rect).contains(mouse->position().toPoint()))
                return false;
            if (event->type() != QEvent::MouseButtonRelease)
                return true; // the box takes the press; the release ticks it
            break;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select)
                return false;
            break;
        }
        default:
            return false;
        }
        const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    TResultsView* view_;
};

TResultsView::TResultsView(QWidget* parent) : QTreeView(parent) {
    InstallResultsAccessibility();
    setHeader(new TResultsHeader(this));
    setItemDelegate(new TResultsDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setSortingEnabled(false);
    setIndentation(kIndent);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAlternatingRowColors(false);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(kOrlaBackground));
    pal.setColor(QPalette::Window, QColor(kOrlaBackground));
    pal.setColor(QPalette::Text, QColor(kOrlaText));
    pal.setColor(QPalette::WindowText, QColor(kOrlaText));
    pal.setColor(QPalette::ButtonText, QColor(kOrlaText));
    setPalette(pal);

    QHeaderView* h = header();
    h->setPalette(pal);
    h->setSectionsMovable(false);
    // A click sorts by the column (sortBy); the indicator shows the model's order.
    h->setSectionsClickable(true);
    h->setHighlightSections(false);
    h->setSortIndicatorShown(true);
    h->setSortIndicator(-1, Qt::AscendingOrder);
    connect(h, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) { sortBy(column, order); });
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(h, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { openHeaderMenu(header()->mapToGlobal(pos), false); });
    headerMenu_ = new QMenu(this);
    headerMenu_->setObjectName(QStringLiteral("pmHeader"));
    h->setStretchLastSection(false);
    h->setMinimumSectionSize(kMinSpareWidth);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setSectionResizeMode(QHeaderView::Interactive);
}

TResultsModel* TResultsView::resultsModel() const {
    return model_;
}

void TResultsView::setResultsModel(TResultsModel* model) {
    setModel(model);
}

void TResultsView::setModel(QAbstractItemModel* model) {
    if (model_ != nullptr) {
        disconnect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
                   &TResultsView::saveScrollState);
        disconnect(model_, &QAbstractItemModel::modelReset, this,
                   &TResultsView::restoreScrollState);
        disconnect(model_, &TResultsModel::rowsSorted, this, &TResultsView::showSortIndicator);
    }
    QTreeView::setModel(model);
    model_ = qobject_cast<TResultsModel*>(model);
    if (model_ != nullptr) {
        // Connected after QTreeView's own reset handling, so the layout is fresh here.
        connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
                &TResultsView::saveScrollState);
        connect(model_, &QAbstractItemModel::modelReset, this, &TResultsView::restoreScrollState);
        connect(model_, &TResultsModel::rowsSorted, this, &TResultsView::showSortIndicator);
        showSortIndicator();
        QHeaderView* h = header();
        for (int i = 0; i < kResultsColumnCount && i < h->count(); ++i)
            h->resizeSection(i, kDefaultWidths[i]);
        fitSpareColumn();
    }
}

void TResultsView::setColumnWidths(const int (&widths)[kResultsColumnCount]) {
    QHeaderView* h = header();
    for (int i = 0; i < kResultsColumnCount && i < h->count(); ++i)
        h->resizeSection(i, std::max(widths[i], kMinSpareWidth));
    fitSpareColumn();
}

void TResultsView::columnWidths(int (&widths)[kResultsColumnCount]) const {
    const QHeaderView* h = header();
    for (int i = 0; i < kResultsColumnCount; ++i)
        widths[i] = i < h->count() ? h->sectionSize(i) : kDefaultWidths[i];
}

bool TResultsView::sortBy(int column, Qt::SortOrder order) {
    const bool sorted =
        model_ != nullptr && (!SortAllowed || SortAllowed()) && model_->SortRows(column, order);
    // A refused sort leaves the indicator as it was.
    showSortIndicator();
    if (sorted && currentIndex().isValid())
        scrollTo(currentIndex());
    return sorted;
}

void TResultsView::showSortIndicator() {
    const QSignalBlocker block(header());
    if (model_ == nullptr || model_->SortColumn() < 0)
        header()->setSortIndicator(-1, Qt::AscendingOrder);
    else
        header()->setSortIndicator(model_->SortColumn(), model_->SortOrder());
    header()->viewport()->update();
}

void TResultsView::openHeaderMenu(const QPoint& globalPos, bool fromKeyboard) {
    if (model_ == nullptr)
        return;
    headerMenu_->clear();
    // One entry per column: sorts by it, or reverses the order when it is the one.
    const int current = model_->SortColumn();
    for (int column = 0; column < kResultsColumnCount; ++column) {
        QAction* entry =
            headerMenu_->addAction(model_->headerData(column, Qt::Horizontal).toString());
        entry->setCheckable(true);
        entry->setChecked(column == current);
        connect(entry, &QAction::triggered, this, [this, column] {
            const bool again = model_ != nullptr && model_->SortColumn() == column;
            sortBy(column, again && model_->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                              : Qt::AscendingOrder);
        });
    }
    headerMenu_->addSeparator();
    QAction* restore = headerMenu_->addAction(defaultOrderText_);
    restore->setObjectName(QStringLiteral("ppmDefaultOrder"));
    restore->setCheckable(true);
    restore->setChecked(current < 0);
    connect(restore, &QAction::triggered, this, [this] { sortBy(-1, Qt::AscendingOrder); });
    const bool allowed = !SortAllowed || SortAllowed();
    int widest = 0;
    for (QAction* a : headerMenu_->actions()) {
        a->setEnabled(allowed);
        widest = std::max(widest, headerMenu_->fontMetrics().horizontalAdvance(a->text()));
    }
    // Room for the check mark column and the margins, so that no entry is cut.
    headerMenu_->setMinimumWidth(widest + 80);
    headerMenu_->popup(globalPos);
    if (fromKeyboard && !headerMenu_->actions().isEmpty())
        headerMenu_->setActiveAction(headerMenu_->actions().constFirst());
}

void TResultsView::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Shift+F10: the header's menu (Shift+F10 is the row menu's).
    if (event->key() == Qt::Key_F10 &&
        event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        event->accept();
        openHeaderMenu(header()->mapToGlobal(QPoint(0, header()->height())), true);
        return;
    }
    QTreeView::keyPressEvent(event);
}

int TResultsView::selectedRow() const {
    const QItemSelectionModel* selection = selectionModel();
    if (selection == nullptr)
        return -1;
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QRect TResultsView::checkBoxRect(const QRect& cell) {
    return {cell.left() + kCheckBoxLeft, cell.top() + (cell.height() - kCheckBoxSize) / 2,
            kCheckBoxSize, kCheckBoxSize};
}

QRect TResultsView::emptyPictureRect() const {
    const QRect area = viewport()->rect();
    const int right = area.left() + area.width();
    const int bottom = area.top() + area.height();
    return QRect(QPoint(right - 150, bottom - 130), QPoint(right - 8 - 1, bottom - 8 - 1));
}

void TResultsView::paintCell(QPainter* painter, const QRect& cell, int row, int column,
                             const TFileRow& record, const QFont& font) const {
    QRect text = cell.adjusted(kTextMargin, 0, -kTextMargin / 2, 0);
    if (column == colFileName) {
        const QRect box = checkBoxRect(cell);
        if (record.Reference)
            drawReferenceMark(painter, box);
        else
            DrawOrlaCheckBox(painter, box, model_->IsChecked(row) ? Qt::Checked : Qt::Unchecked,
                             isEnabled(), false);
        text.setLeft(box.right() + 1 + kTextMargin / 2);
    }
    if (record.FileInfo == nullptr || text.width() <= 0)
        return;
    const QString value = model_->CellText(row, column);
    if (value.isEmpty())
        return;
    const QFontMetrics metrics(font);
    painter->setFont(font);
    painter->setPen(QColor(kOrlaText));
    // A path is cut in the middle: its end tells the rows apart.
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      metrics.elidedText(value,
                                         column == colFolderName ? Qt::ElideMiddle : Qt::ElideRight,
                                         text.width()));
}

void TResultsView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const int row = index.row();
    const TFileRow* record = model_ != nullptr ? model_->Row(row) : nullptr;
    if (record == nullptr) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    if (model_->IsRemoved(row))
        return; // dropped when the bracket closes; shows as an empty row until then

    const QRect rect = option.rect;
    if (record->FileInfo != nullptr && record->BandColor != 0)
        painter->fillRect(rect, bandColor(record->BandColor));

    // The cells, straight from the record: no selection, hover or focus marks.
    const QHeaderView* h = header();
    const int count = h->count();
    int rowLeft = rect.left();
    bool first = true;
    for (int visual = 0; visual < count; ++visual) {
        const int logical = h->logicalIndex(visual);
        if (h->isSectionHidden(logical))
            continue;
        const int x = h->sectionViewportPosition(logical);
        const int width = h->sectionSize(logical);
        if (first) {
            rowLeft = x;
            first = false;
        }
        if (width <= 0 || x + width <= rect.left() || x > rect.right())
            continue;
        const QRect cell(x, rect.top(), width, rect.height());
        painter->save();
        painter->setClipRect(cell, Qt::IntersectClip);
        paintCell(painter, cell, row, logical, *record, option.font);
        painter->restore();
    }

    // The current row, while the list has the keyboard focus: a dotted frame (the
    // selection itself is not highlighted).
    if (hasFocus() && currentIndex().isValid() && currentIndex().row() == row) {
        painter->save();
        painter->setPen(QPen(QColor(kOrlaText), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(1, 1, -2, -2));
        painter->restore();
    }

    // The group bracket, one pixel wide. Lines include both end points.
    const BracketKind kind = model_->Bracket(row);
    if (kind == BracketKind::None)
        return;
    const int x = rowLeft + 10;
    const int m = rect.top() + rect.height() / 2;
    painter->save();
    painter->setPen(QPen(QColor(kOrlaText), 1, Qt::SolidLine));
    painter->setRenderHint(QPainter::Antialiasing, false);
    switch (kind) {
    case BracketKind::First:
        painter->drawLine(x, m, x + 9, m);
        painter->drawLine(x, m, x, rect.bottom());
        break;
    case BracketKind::Middle:
        painter->drawLine(x, rect.top(), x, rect.bottom());
        break;
    case BracketKind::Last:
        painter->drawLine(x, m, x + 9, m);
        painter->drawLine(x, m, x, rect.top());
        break;
    case BracketKind::None:
        break;
    }
    painter->restore();
}

void TResultsView::paintEvent(QPaintEvent* event) {
    if (model() != nullptr && model()->rowCount() > 0) {
        QTreeView::paintEvent(event);
        return;
    }
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), QColor(kOrlaBackground));
    if (!emptyText_.isEmpty()) {
        painter.setPen(QColor(kOrlaText));
        painter.drawText(viewport()->rect().adjusted(8, 8, -8, -140),
                         Qt::AlignCenter | Qt::TextWordWrap, emptyText_);
    }
    const QRect target = emptyPictureRect();
    if (target.width() <= 0 || target.height() <= 0)
        return;
    const QPixmap picture = OrlaPixmap(QString::fromLatin1(kEmptyPicture), target.size());
    if (picture.isNull())
        return;
    // The picture keeps its proportions, centred in the target.
    const QSizeF size = picture.deviceIndependentSize();
    const QSizeF fitted = size.scaled(QSizeF(target.size()), Qt::KeepAspectRatio);
    const QRectF place(QPointF(target.left() + (target.width() - fitted.width()) / 2,
                               target.top() + (target.height() - fitted.height()) / 2),
                       fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(place, picture, QRectF(picture.rect()));
}

void TResultsView::setEmptyText(const QString& text) {
    if (text == emptyText_)
        return;
    emptyText_ = text;
    setAccessibleDescription(text);
    viewport()->update();
}

void TResultsView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept(); // the release selects the row and asks for the row menu
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TResultsView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    const QModelIndex index = indexAt(event->position().toPoint());
    const int row = index.isValid() ? index.row() : -1;
    if (row >= 0 && selectionModel() != nullptr)
        selectionModel()->setCurrentIndex(model()->index(row, colFileName),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
    emit rightButtonReleased(event->globalPosition().toPoint(), row);
}

void TResultsView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    fitSpareColumn();
}

void TResultsView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                               const QList<int>& roles) {
    // Rows never change height and the list has no editors, so a change only needs a
    // repaint. QTreeView's handling walks every changed row (its height bookkeeping, and
    // the search for the rectangle to repaint), which takes long for a million rows.
    if (topLeft.row() == bottomRight.row()) {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    viewport()->update();
}

void TResultsView::fitSpareColumn() {
    QHeaderView* h = header();
    if (h->count() <= colFolderName)
        return;
    int others = 0;
    for (int i = 0; i < h->count(); ++i)
        if (i != colFolderName && !h->isSectionHidden(i))
            others += h->sectionSize(i);
    const int width = std::max(kMinSpareWidth, viewport()->width() - others);
    if (width != h->sectionSize(colFolderName))
        h->resizeSection(colFolderName, width);
}

void TResultsView::saveScrollState() {
    keepSelected_ = -1;
    keepTop_ = -1;
    keepOffset_ = 0;
    if (model_ == nullptr || model_->RowCount() == 0)
        return;
    const int selected = selectedRow();
    if (selected >= 0 && !model_->IsRemoved(selected))
        keepSelected_ = model_->RowAfterCompaction(selected);
    const int value = verticalScrollBar()->value();
    const int top = value / kRowHeight;
    if (value > 0 && top < model_->RowCount()) {
        keepTop_ = model_->RowAfterCompaction(top);
        keepOffset_ = value % kRowHeight;
    }
}

void TResultsView::restoreScrollState() {
    const int selected = std::exchange(keepSelected_, -1);
    const int top = std::exchange(keepTop_, -1);
    const int offset = std::exchange(keepOffset_, 0);
    if (model_ == nullptr || (selected < 0 && top < 0))
        return;
    const int rows = model_->rowCount();
    executeDelayedItemsLayout();
    if (selected >= 0 && selected < rows && selectionModel() != nullptr) {
        const bool autoScrolling = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(model_->index(selected, colFileName),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
        setAutoScroll(autoScrolling);
    }
    if (top >= 0 && top < rows)
        verticalScrollBar()->setValue(top * kRowHeight + offset);
}

} // namespace pelidor
