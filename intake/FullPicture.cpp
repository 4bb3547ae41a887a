#include "FullPicture.h"

#include "BmpLayout.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Why reading a mapped working file cannot fault (SIGBUS): its size is checked with fstat
// before it is mapped, and a mapping faults only where its file was shortened afterwards.
// Nothing shortens a working file: the program deletes (unlinks) them before each new
// conversion instead of truncating them, the converter then writes new files, and a deleted
// file keeps its data for as long as a mapping holds it. The working folder is private (0700),
// so only the user's own programs could reach in and truncate one, and those could as well end
// the program outright.

namespace intake {
namespace {

// readRow hands out colours through a buffer this long on the stack.
constexpr qint64 ColourChunk = 256;

// What of a mapped file a read brings into the process's memory: the kernel maps up to this
// much of the cached file around each page that faults in.
constexpr qint64 FaultAroundBytes = qint64(64) << 10;
// Past this much touched since the last release, the mapped pages are handed back: moving the
// loupe over a whole 100-megapixel picture would otherwise end with all of it resident.
constexpr qint64 ResidentBudgetBytes = qint64(8) << 20;
// The one walk through run-length data hands back what it has read in steps of this much.
constexpr qint64 WalkReleaseBytes = qint64(4) << 20;

// One colour channel of a 16- or 32-bit pixel, told by its mask.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint32 largest = 0; // the channel's value at full intensity

    explicit Channel(quint32 bits = 0)
        : mask(bits)
        , shift(bits == 0 ? 0 : std::countr_zero(bits))
        , largest(bits == 0 ? 0 : bits >> shift)
    {
    }
    // The channel scaled to 0..255, rounded.
    [[nodiscard]] int level(quint32 pixel) const
    {
        if (largest == 0) {
            return 0;
        }
        const quint64 value = (pixel & mask) >> shift;
        return static_cast<int>((value * 255 + largest / 2) / largest);
    }
};

// A channel's mask is a single run of set bits no wider than 8 bits.
bool plainMask(quint32 mask, int bitCount)
{
    if (mask == 0) {
        return true;
    }
    const quint32 run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0 && std::popcount(mask) <= 8 && (bitCount == 32 || mask <= 0xFFFF);
}

// How rows are wanted: again and again (the loupe, which looks at about the same rows at every
// mouse event), or once each (the edge fit's pass along a band).
enum class Visit { Again, Once };

// A picture's rows, wherever they are kept.
class Rows {
public:
    Rows(qint64 width, qint64 height)
        : width(width)
        , height(height)
    {
    }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;
    Rows(Rows&&) = delete;
    Rows& operator=(Rows&&) = delete;
    virtual ~Rows() = default;

    // Writes the opaque colours of row y, columns x0 to x1 - 1, to out; the caller keeps
    // 0 <= y < height and 0 <= x0 <= x1 <= width. Visit tells how the rows are wanted.
    virtual void rgbRow(qint64 y, qint64 x0, qint64 x1, QRgb* out, Visit visit) const = 0;
    // Writes the colours of pixels x0, x0 + step, ... (count of them) of row y, read once.
    virtual void rgbPixels(qint64 y, qint64 x0, qint64 count, qint64 step, QRgb* out) const
    {
        // Each thread's own buffer: reads on several threads at once do not meet in it.
        thread_local std::vector<QRgb> span;
        span.resize(static_cast<std::size_t>((count - 1) * step + 1));
        rgbRow(y, x0, x0 + (count - 1) * step + 1, span.data(), Visit::Once);
        for (qint64 k = 0; k < count; ++k) {
            out[k] = span[static_cast<std::size_t>(k * step)];
        }
    }

    const qint64 width;
    const qint64 height;
};

// A decoded picture kept in memory.
class KeptImage : public Rows {
public:
    explicit KeptImage(QImage picture)
        : Rows(picture.width(), picture.height())
        , m_picture(std::move(picture))
    {
    }
    void rgbRow(qint64 y, qint64 x0, qint64 x1, QRgb* out, Visit /*visit*/) const override
    {
        const auto* row =
            reinterpret_cast<const QRgb*>(m_picture.constScanLine(static_cast<int>(y)));
        std::copy(row + x0, row + x1, out);
    }

private:
    QImage m_picture; // Format_RGB32
};

// A file mapped read-only; unmapped when the last reader is gone.
class Mapping {
public:
    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    Mapping(Mapping&&) = delete;
    Mapping& operator=(Mapping&&) = delete;
    ~Mapping()
    {
        if (m_data != nullptr) {
            munmap(m_data, static_cast<std::size_t>(m_size));
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }

    // Maps the whole of path; false when it cannot be opened, is not a plain file, or is empty.
    bool map(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        const int fd = open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            return false;
        }
        struct stat status {};
        // The size the mapping may be read to: never more than the file holds now.
        if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
            void* data = mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ,
                              MAP_PRIVATE, fd, 0);
            if (data != MAP_FAILED) {
                m_data = static_cast<uchar*>(data);
                m_size = status.st_size;
            }
        }
        // Kept open, as the mapping keeps the file, even once it is deleted.
        m_fd = fd;
        return m_data != nullptr;
    }

    // Reads bytes [at, at + count) of the file into out; what cannot be read (a file shortened
    // by someone else) comes back as zeros.
    void read(qint64 at, qint64 count, uchar* out) const
    {
        qint64 done = 0;
        while (done < count) {
            const ssize_t got = pread(m_fd, out + done, static_cast<std::size_t>(count - done),
                                      static_cast<off_t>(at + done));
            if (got <= 0) {
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                std::fill(out + done, out + count, uchar{0});
                return;
            }
            done += got;
        }
    }

    [[nodiscard]] const uchar* data() const { return m_data; }
    [[nodiscard]] qint64 size() const { return m_size; }

    void advise(int advice) const { madvise(m_data, static_cast<std::size_t>(m_size), advice); }
    // Hands back the mapped pages from start up to end; they are read again from the cached
    // file if they are wanted again.
    void release(qint64 start, qint64 end) const
    {
        const auto page = static_cast<qint64>(sysconf(_SC_PAGESIZE));
        const qint64 from = start / page * page;
        if (end > from) {
            madvise(m_data + from, static_cast<std::size_t>(end - from), MADV_DONTNEED);
        }
    }

    // Counts bytes read; past the budget, releases all of the mapping.
    void touched(qint64 bytes) const
    {
        if (m_touched.fetch_add(bytes, std::memory_order_relaxed) + bytes > ResidentBudgetBytes) {
            m_touched.store(0, std::memory_order_relaxed);
            release(0, m_size);
        }
    }

private:
    uchar* m_data = nullptr;
    qint64 m_size = 0;
    int m_fd = -1;
    mutable std::atomic<qint64> m_touched{0};
};

// A place to start decoding run-length data: a code at byte `at` of the file that draws from
// column x of its row.
struct Mark {
    qint64 at = 0;
    qint64 x = 0;
};
// Run-length data is marked at least every this many columns of a row: decoding a segment reads
// at most about this much more than the segment.
constexpr qint64 MarkSpan = 1024;

// A BMP read in place from its mapping, one row segment at a time.
class MappedBmp : public Rows {
public:
    MappedBmp(std::unique_ptr<Mapping> mapping, const bmp::Layout& layout)
        : Rows(layout.width, layout.height)
        , m_map(std::move(mapping))
        , m_layout(layout)
    {
    }

    // Checks that the file holds all the data its headers claim, and learns its colours.
    bool prepare()
    {
        const qint64 size = m_map->size();
        const int bits = m_layout.bitCount;
        switch (m_layout.compression) {
        case bmp::Uncompressed:
            if (bits == 16) {
                return useMasks(0x7C00, 0x03E0, 0x001F) && dataPresent(); // 5-5-5
            }
            if (bits == 32) {
                return useMasks(0xFF0000, 0xFF00, 0xFF) && dataPresent();
            }
            return (bits == 24 || ((bits == 1 || bits == 4 || bits == 8) && readPalette())) &&
                   dataPresent();
        case bmp::BitFields:
        case bmp::AlphaBitFields: {
            // The masks follow the 40-byte info header, or are its next fields in a longer one.
            constexpr qint64 masksAt = bmp::HeaderSize;
            if ((bits != 16 && bits != 32) || masksAt + 12 > size) {
                return false;
            }
            const auto* at = reinterpret_cast<const char*>(m_map->data() + masksAt);
            return useMasks(bmp::field<quint32>(at), bmp::field<quint32>(at + 4),
                            bmp::field<quint32>(at + 8)) &&
                   dataPresent();
        }
        case bmp::RunLength8:
            // Run-length data is always stored bottom-up. (Four-bit runs, which no converter
            // here writes, are left to the display copy.)
            return bits == 8 && m_layout.bottomUp && readPalette() && indexRuns();
        default:
            return false;
        }
    }

    void rgbPixels(qint64 y, qint64 x0, qint64 count, qint64 step, QRgb* out) const override
    {
        if (!m_rowMarks.empty() || step == 1) {
            Rows::rgbPixels(y, x0, count, step, out);
            return;
        }
        // The segment's bytes are read once; only the pixels asked for are decoded.
        const qint64 fileRow = m_layout.bottomUp ? height - 1 - y : y;
        const int bits = m_layout.bitCount;
        const qint64 x1 = x0 + (count - 1) * step + 1;
        const qint64 first = x0 * bits / 8;
        const qint64 end = (x1 * bits + 7) / 8;
        std::vector<uchar>& segment = segmentBuffer(end - first);
        m_map->read(m_layout.dataOffset + fileRow * m_layout.stride() + first, end - first,
                    segment.data());
        for (qint64 k = 0; k < count; ++k) {
            out[k] = decoded(segment.data(), first, x0 + k * step);
        }
    }

    void rgbRow(qint64 y, qint64 x0, qint64 x1, QRgb* out, Visit visit) const override
    {
        const qint64 fileRow = m_layout.bottomUp ? height - 1 - y : y;
        if (!m_rowMarks.empty()) {
            runRow(fileRow, x0, x1, out);
            return;
        }
        const int bits = m_layout.bitCount;
        // Only the bytes of the segment; bytes points at the first of them.
        const qint64 first = x0 * bits / 8;
        const qint64 end = (x1 * bits + 7) / 8;
        const qint64 start = m_layout.dataOffset + fileRow * m_layout.stride() + first;
        const uchar* bytes = nullptr;
        if (visit == Visit::Again) {
            // Rows wanted again stay mapped between visits, within the resident budget.
            m_map->touched(FaultAroundBytes + (end - first));
            bytes = m_map->data() + start;
        } else {
            // A row wanted once is cheaper read than mapped: a read needs no page-table work
            // and leaves nothing resident but the system's file cache.
            std::vector<uchar>& segment = segmentBuffer(end - first);
            m_map->read(start, end - first, segment.data());
            bytes = segment.data();
        }
        if (bits == 24) {
            for (qint64 x = x0; x < x1; ++x) {
                const uchar* pixel = bytes + (3 * x - first);
                *out++ = qRgb(pixel[2], pixel[1], pixel[0]);
            }
        } else if (bits == 32) {
            for (qint64 x = x0; x < x1; ++x) {
                *out++ = masked(
                    bmp::field<quint32>(reinterpret_cast<const char*>(bytes + (4 * x - first))));
            }
        } else if (bits == 16) {
            for (qint64 x = x0; x < x1; ++x) {
                *out++ = masked(
                    bmp::field<quint16>(reinterpret_cast<const char*>(bytes + (2 * x - first))));
            }
        } else {
            // Palette indices, leftmost pixel in the highest bits of a byte.
            const int perByte = 8 / bits;
            const int mask = (1 << bits) - 1;
            for (qint64 x = x0; x < x1; ++x) {
                const int shift = 8 - bits * (1 + static_cast<int>(x % perByte));
                *out++ = m_palette[static_cast<std::size_t>((bytes[x / perByte - first] >> shift) &
                                                            mask)];
            }
        }
    }

private:
    // The calling thread's own buffer for a segment's bytes, at least bytes long: reads on
    // several threads at once do not meet in it.
    static std::vector<uchar>& segmentBuffer(qint64 bytes)
    {
        thread_local std::vector<uchar> segment;
        segment.resize(static_cast<std::size_t>(std::max<qint64>(bytes, 1)));
        return segment;
    }

    // The colour of pixel x of a row whose bytes from byte first on are at bytes.
    [[nodiscard]] QRgb decoded(const uchar* bytes, qint64 first, qint64 x) const
    {
        const int bits = m_layout.bitCount;
        if (bits == 24) {
            const uchar* pixel = bytes + (3 * x - first);
            return qRgb(pixel[2], pixel[1], pixel[0]);
        }
        if (bits == 32) {
            return masked(
                bmp::field<quint32>(reinterpret_cast<const char*>(bytes + (4 * x - first))));
        }
        if (bits == 16) {
            return masked(
                bmp::field<quint16>(reinterpret_cast<const char*>(bytes + (2 * x - first))));
        }
        const int perByte = 8 / bits;
        const int shift = 8 - bits * (1 + static_cast<int>(x % perByte));
        return m_palette[static_cast<std::size_t>((bytes[x / perByte - first] >> shift) &
                                                  ((1 << bits) - 1))];
    }

    [[nodiscard]] bool dataPresent() const
    {
        return m_layout.dataOffset + m_layout.stride() * height <= m_map->size();
    }

    bool useMasks(quint32 red, quint32 green, quint32 blue)
    {
        const int bits = m_layout.bitCount;
        if (!plainMask(red, bits) || !plainMask(green, bits) || !plainMask(blue, bits)) {
            return false;
        }
        m_red = Channel(red);
        m_green = Channel(green);
        m_blue = Channel(blue);
        return true;
    }

    [[nodiscard]] QRgb masked(quint32 pixel) const
    {
        return qRgb(m_red.level(pixel), m_green.level(pixel), m_blue.level(pixel));
    }

    // The palette follows the info header: blue, green, red and a spare byte per colour.
    // Indices beyond the colours it lists are black.
    bool readPalette()
    {
        const qint64 most = qint64(1) << m_layout.bitCount;
        const qint64 colours = m_layout.coloursUsed == 0 ? most : m_layout.coloursUsed;
        const qint64 start = bmp::FileHeaderSize + m_layout.infoSize;
        if (colours > most || start + 4 * colours > m_map->size()) {
            return false;
        }
        m_palette.fill(qRgb(0, 0, 0));
        const uchar* entry = m_map->data() + start;
        for (qint64 i = 0; i < colours; ++i, entry += 4) {
            m_palette[static_cast<std::size_t>(i)] = qRgb(entry[2], entry[1], entry[0]);
        }
        return true;
    }

    // Bytes that an absolute run of n indices takes, padded to a whole 16-bit word.
    static qint64 absoluteBytes(qint64 n) { return (n + 1) / 2 * 2; }

    // Walks the run-length data once, noting where each row starts and where it reaches every
    // MarkSpan columns, so that a segment is decoded from just before it. False when the data
    // runs out before its end.
    bool indexRuns()
    {
        const uchar* data = m_map->data();
        const qint64 size = m_map->size();
        m_rowMarks.assign(static_cast<std::size_t>(height) + 1, 0);
        qint64 at = m_layout.dataOffset;
        qint64 row = 0;
        qint64 x = 0;
        qint64 nextMark = 0;
        // Rows up to row start at the marks noted so far; the row itself at the next one.
        auto startRows = [this, &nextMark](qint64 from, qint64 to) {
            for (qint64 r = from; r <= std::min(to, height); ++r) {
                m_rowMarks[static_cast<std::size_t>(r)] = m_marks.size();
            }
            nextMark = 0;
        };
        startRows(0, 0);
        // The walk reads a little of every page: hand them back behind it as it goes.
        m_map->advise(MADV_SEQUENTIAL);
        qint64 released = 0;
        bool whole = false;
        while (row < height) {
            if (at - released > WalkReleaseBytes) {
                m_map->release(released, at);
                released = at;
            }
            if (at + 2 > size) {
                break;
            }
            if (x >= nextMark) {
                m_marks.push_back({at, x});
                nextMark = (x / MarkSpan + 1) * MarkSpan;
            }
            const int count = data[at];
            const int code = data[at + 1];
            if (count > 0) {
                x += count;
                at += 2;
            } else if (code == 0) { // end of the row
                at += 2;
                x = 0;
                startRows(row + 1, row + 1);
                ++row;
            } else if (code == 1) { // end of the picture; the rows left draw nothing
                whole = true;
                break;
            } else if (code == 2) { // move right and down
                if (at + 4 > size) {
                    break;
                }
                x += data[at + 2];
                const int down = data[at + 3];
                at += 4;
                if (down > 0) {
                    startRows(row + 1, row + down);
                    row += down;
                }
            } else {
                at += 2 + absoluteBytes(code);
                x += code;
                if (at > size) {
                    break;
                }
            }
        }
        startRows(row + 1, height);
        m_marks.shrink_to_fit();
        m_map->release(released, size);
        m_map->advise(MADV_RANDOM);
        return whole || row >= height;
    }

    // Decodes one row of run-length data from the last mark at or before x0 as far as x1.
    // Pixels no run draws take the first colour, as Qt's reader shows them.
    void runRow(qint64 fileRow, qint64 x0, qint64 x1, QRgb* out) const
    {
        std::fill(out, out + (x1 - x0), m_palette[0]);
        const auto first =
            m_marks.begin() + static_cast<qsizetype>(m_rowMarks[static_cast<std::size_t>(fileRow)]);
        const auto last = m_marks.begin() +
                          static_cast<qsizetype>(m_rowMarks[static_cast<std::size_t>(fileRow) + 1]);
        auto mark =
            std::upper_bound(first, last, x0, [](qint64 x, const Mark& m) { return x < m.x; });
        if (mark == first) {
            return; // the row draws nothing up to x0 or at all
        }
        --mark;
        const uchar* data = m_map->data();
        const qint64 size = m_map->size();
        qint64 at = mark->at;
        qint64 x = mark->x;
        while (x < x1 && at + 2 <= size) {
            const int count = data[at];
            const int code = data[at + 1];
            if (count > 0) {
                // A run of one index.
                std::fill(out + std::max(x, x0) - x0,
                          out + std::max(std::min(x + count, x1), x0) - x0,
                          m_palette[static_cast<std::size_t>(code)]);
                x += count;
                at += 2;
            } else if (code == 0 || code == 1) {
                break;
            } else if (code == 2) {
                if (at + 4 > size || data[at + 3] > 0) {
                    break;
                }
                x += data[at + 2];
                at += 4;
            } else {
                const uchar* pixels = data + at + 2;
                // Indices one by one; never past the end of the file.
                const qint64 end = std::min({x + code, x1, x + (size - at - 2)});
                for (qint64 i = std::max(x, x0); i < end; ++i) {
                    out[i - x0] = m_palette[pixels[i - x]];
                }
                x += code;
                at += 2 + absoluteBytes(code);
            }
        }
        m_map->touched(FaultAroundBytes + (at - mark->at));
    }

    std::unique_ptr<Mapping> m_map;
    bmp::Layout m_layout;
    std::array<QRgb, 256> m_palette{};
    Channel m_red;
    Channel m_green;
    Channel m_blue;
    // Run-length data only: where the decoding may start, and each file row's first mark.
    std::vector<Mark> m_marks;
    std::vector<std::size_t> m_rowMarks;
};

} // namespace

struct FullPicture::Source {
    explicit Source(std::unique_ptr<const Rows> kept)
        : rows(std::move(kept))
    {
    }
    // The readers keep nothing between reads but a mapping's budget, which is atomic, and
    // each thread's own buffers: the window's loupe and Enter, F's fits beside them and a fit's
    // own threads may all read at once.
    std::unique_ptr<const Rows> rows;
};

FullPicture::FullPicture(std::unique_ptr<Source> source)
    : m_source(std::move(source))
{
}

FullPicture::~FullPicture() = default;

std::shared_ptr<const FullPicture> FullPicture::fromBmp(const QString& path)
{
    auto mapping = std::make_unique<Mapping>();
    if (!mapping->map(path) || mapping->size() < bmp::HeaderSize) {
        return nullptr;
    }
    const std::optional<bmp::Layout> layout =
        bmp::readLayout(std::span<const char, bmp::HeaderSize>(
            reinterpret_cast<const char*>(mapping->data()), bmp::HeaderSize));
    if (!layout) {
        return nullptr;
    }
    auto rows = std::make_unique<MappedBmp>(std::move(mapping), *layout);
    if (!rows->prepare()) {
        return nullptr;
    }
    return std::shared_ptr<const FullPicture>(
        new FullPicture(std::make_unique<Source>(std::move(rows))));
}

std::shared_ptr<const FullPicture> FullPicture::fromImage(QImage picture)
{
    if (picture.isNull()) {
        return nullptr;
    }
    // Qt drops the alpha channel and keeps the colours as stored, as the converter does.
    QImage opaque = std::move(picture).convertToFormat(QImage::Format_RGB32);
    if (opaque.isNull()) {
        return nullptr;
    }
    return std::shared_ptr<const FullPicture>(
        new FullPicture(std::make_unique<Source>(std::make_unique<KeptImage>(std::move(opaque)))));
}

QSize FullPicture::size() const
{
    return {static_cast<int>(m_source->rows->width), static_cast<int>(m_source->rows->height)};
}

std::int64_t FullPicture::width() const
{
    return m_source->rows->width;
}

std::int64_t FullPicture::height() const
{
    return m_source->rows->height;
}

QImage FullPicture::region(const QRect& area) const
{
    if (area.isEmpty()) {
        return {};
    }
    QImage image(area.size(), QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    image.fill(qRgb(0, 0, 0));
    const QRect inside = area.intersected(QRect(QPoint(0, 0), size()));
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y - area.top()));
        m_source->rows->rgbRow(y, inside.left(), inside.right() + 1,
                               row + (inside.left() - area.left()), Visit::Again);
    }
    return image;
}

int FullPicture::channels() const
{
    return 3;
}

bool FullPicture::readsConcurrently() const
{
    return true;
}

void FullPicture::readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const
{
    readPixels(y, x0, x1 - x0, 1, out);
}

void FullPicture::readPixels(std::int64_t y, std::int64_t x0, std::int64_t count, std::int64_t step,
                             float* out) const
{
    std::array<QRgb, ColourChunk> colours{};
    for (std::int64_t from = 0; from < count; from += ColourChunk) {
        const std::int64_t many = std::min<std::int64_t>(ColourChunk, count - from);
        if (step == 1) {
            m_source->rows->rgbRow(y, x0 + from, x0 + from + many, colours.data(), Visit::Once);
        } else {
            m_source->rows->rgbPixels(y, x0 + from * step, many, step, colours.data());
        }
        for (std::int64_t k = 0; k < many; ++k) {
            const QRgb colour = colours[static_cast<std::size_t>(k)];
            *out++ = static_cast<float>(qRed(colour));
            *out++ = static_cast<float>(qGreen(colour));
            *out++ = static_cast<float>(qBlue(colour));
        }
    }
}

} // namespace intake
