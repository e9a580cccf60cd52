#include "movie/gif_output.h"

#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <numeric>

#include "movie/gif_lzw.h"
#include "movie/gif_quantize.h"
#include "movie/movie_file.h"

namespace {

using gif::PixelChoice;

// The colours of a frame, up to a limit, each with how often it occurs and a
// small number to go with it: a hash set of a fixed size, cheap to clear.
class ColourMap {
 public:
  ColourMap() { keys_.fill(kEmpty); }
  void Clear() {
    for (int slot : used_) keys_[slot] = kEmpty;
    used_.clear();
  }
  int Size() const { return int(used_.size()); }
  // The value of a colour, -1 when it is not there.
  int Find(uint32_t colour) const {
    for (uint32_t slot = Hash(colour);; slot = (slot + 1) & (kSlots - 1)) {
      if (keys_[slot] == colour) return values_[slot];
      if (keys_[slot] == kEmpty) return -1;
    }
  }
  // Counts one more pixel of a colour; false when the colour is new and the
  // map already holds `limit` colours.
  bool Count(uint32_t colour, int limit) {
    uint32_t slot = Hash(colour);
    for (;; slot = (slot + 1) & (kSlots - 1)) {
      if (keys_[slot] == colour) {
        ++counts_[slot];
        return true;
      }
      if (keys_[slot] == kEmpty) break;
    }
    if (Size() >= limit) return false;
    keys_[slot] = colour;
    counts_[slot] = 1;
    values_[slot] = -1;
    used_.push_back(int(slot));
    return true;
  }
  void Set(uint32_t colour, int value) {
    uint32_t slot = Hash(colour);
    while (keys_[slot] != colour && keys_[slot] != kEmpty) slot = (slot + 1) & (kSlots - 1);
    if (keys_[slot] == kEmpty) {
      keys_[slot] = colour;
      counts_[slot] = 0;
      used_.push_back(int(slot));
    }
    values_[slot] = value;
  }
  // The colours, the most frequent first.
  std::vector<uint32_t> ByCount() const {
    std::vector<int> order = used_;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return counts_[a] > counts_[b]; });
    std::vector<uint32_t> colours;
    colours.reserve(order.size());
    for (int slot : order) colours.push_back(keys_[slot]);
    return colours;
  }

 private:
  static constexpr int kSlots = 1024;  // a quarter full at most: 256 colours and a spare
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 0xRRGGBB colour
  static uint32_t Hash(uint32_t colour) { return (colour * 2654435761u) >> 22; }
  std::array<uint32_t, kSlots> keys_{};
  std::array<uint32_t, kSlots> counts_{};
  std::array<int, kSlots> values_{};
  std::vector<int> used_;
};

// The number of entries a colour table of `n` colours takes in the file: a
// power of two, at least 2.
int TableSizeFor(int n) {
  int size = 2;
  while (size < n) size *= 2;
  return size;
}

int TableBits(int size) {
  int bits = 1;
  while ((1 << bits) < size) ++bits;
  return bits;
}

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// One way of writing a frame: its colour table, its pixels and their
// compressed data.
struct Encoding {
  bool valid = false;
  std::vector<uint32_t> table;  // the local colour table; empty for the global one
  std::vector<uint32_t> newGlobal;  // colours this way adds to the global table's free entries
  int transparent = -1;
  int maxIndex = 0;
  std::vector<PixelChoice> pixels;
  std::vector<uint8_t> data;
  std::vector<uint8_t> chosen;
  size_t Cost() const { return data.size() + 3 * (table.empty() ? 0 : size_t(TableSizeFor(int(table.size())))); }
};

QString ErrnoText(int err) { return QString::fromLocal8Bit(strerror(err)); }

class GifOutput final : public FrameOutput {
 public:
  GifOutput(const QString& path, const FrameOutputOptions& options)
      : path_(QFileInfo(path).absoluteFilePath()), options_(options) {}
  ~GifOutput() override {
    if (state_ != State::kDone) Abandon();
  }

  QString Begin(int width, int height, int timeScale, int ticksPerFrame) override;
  QString AddFrame(const QImage& frame) override;
  QString Finish() override;
  void Abandon() override;

 private:
  enum class State { kNew, kBegun, kDone };

  void Fail(const QString& reason, const QString& where = {}) {
    if (error_.isEmpty())
      error_ = "Movie not written: " + reason + (where.isEmpty() ? QString() : " (" + where + ")") + " - " + path_;
  }
  int DelayOf(int64_t frame) const {
    auto hundredths = [&](int64_t n) { return (200 * n * ticksPerFrame_ + timeScale_) / (2 * timeScale_); };
    return int(std::min<int64_t>(65535, hundredths(frame + 1) - hundredths(frame)));
  }
  void Load(const QImage& frame);
  void EncodeFrame();
  void EncodeFirst();
  bool EncodeExact(const Rect& rect, bool anyFree);
  void EncodeQuantized(const Rect& rect);
  bool RemapToGlobal(const Rect& rect, std::vector<uint8_t>* indices);
  bool EncodeLossy(const Rect& rect, const std::vector<uint8_t>& indices, const std::vector<uint32_t>& palette,
                   int transparent, bool global);
  void WriteUnchanged();
  void BuildGlobalWay(const Rect& rect, bool anyFree, Encoding* way);
  void BuildLocalWay(const Rect& rect, bool anyFree, Encoding* way);
  void Compress(const Rect& rect, Encoding* way);
  void Emit(const Rect& rect, const Encoding& way);
  void Put16(int v) {
    body_.push_back(uint8_t(v));
    body_.push_back(uint8_t(v >> 8));
  }
  bool WriteAt(const uint8_t* data, size_t size, off_t at, const QString& where);
  void FlushBody(const QString& where, bool last = false);

  QString path_;
  FrameOutputOptions options_;
  QString error_;
  State state_ = State::kNew;
  MovieOutputFile file_;
  int width_ = 0, height_ = 0;
  int64_t timeScale_ = 8, ticksPerFrame_ = 1;
  int64_t frames_ = 0;

  std::vector<uint32_t> current_, previous_, canvas_;  // 0xRRGGBB
  std::vector<uint8_t> free_;  // per pixel: the viewer already sees the right colour, or it did not change
  std::vector<uint32_t> global_;  // the global colour table, a power of two long
  int globalUsed_ = 0;            // its entries that hold colours; the rest are free
  ColourMap globalIndex_;         // colour -> its entry in the global table
  ColourMap colours_, ways_;      // a frame's colours; and their entries in one way of writing it
  gif::LzwEncoder lzw_;
  Encoding first_, second_;
  // The frames so far, while they fit in kPendingBudget bytes: written at the
  // end, after the global table is put in order.
  struct Pending {
    Rect rect;
    int delay;
    std::vector<uint32_t> table;  // empty: the global one
    int transparent;
    std::vector<PixelChoice> pixels;
    std::vector<uint8_t> data;
    int reach = 0;  // the highest index the data holds
  };
  static constexpr size_t kPendingBudget = size_t(4) << 20;
  std::vector<Pending> pending_;
  size_t pendingBytes_ = 0;
  bool streaming_ = false;  // the frames go out as they come
  void Serialize(const Pending& frame);
  void Reorder();
  std::vector<uint8_t> trialData_, trialChosen_;
  gif::NearestColour nearest_;  // over the global table's colours
  int nearestFor_ = -1;         // how many colours it had then
  std::vector<uint32_t> nearestCache_ = std::vector<uint32_t>(8192);  // colour | entry << 24
  int NearestOf(uint32_t colour);
  static int Distance(uint32_t a, uint32_t b) {
    const int dr = int(a >> 16 & 255) - int(b >> 16 & 255), dg = int(a >> 8 & 255) - int(b >> 8 & 255),
              db = int(a & 255) - int(b & 255);
    return dr * dr + dg * dg + db * db;
  }
  double globalError_ = 0;      // mean square distance of the first frame's pixels from their colours
  static constexpr int kDither = 10;  // how much of its error a pixel passes on, in sixteenths

  // The file: the header and the global table, written last, then the body,
  // of which bodyWritten_ bytes are in the file and the rest in body_. The
  // header's size is known once the global table's is (0 until then).
  size_t headSize_ = 0;
  int globalReach_ = 0;  // the highest entry of the global table a frame uses
  std::vector<uint8_t> body_;
  off_t bodyWritten_ = 0;
  off_t lastDelayAt_ = 0;  // where the delay of the last frame written lies in the body
  int lastDelay_ = 0;
};

QString GifOutput::Begin(int width, int height, int timeScale, int ticksPerFrame) {
  if (!error_.isEmpty()) return error_;
  if (state_ != State::kNew) {
    Fail("it was already begun");
    return error_;
  }
  state_ = State::kBegun;
  if (width < 1 || height < 1 || width > 65535 || height > 65535) {
    Fail(QString("a frame of %1 x %2 pixels cannot be a GIF picture").arg(width).arg(height));
    return error_;
  }
  if (timeScale <= 0 || ticksPerFrame <= 0) {
    Fail(QString("invalid frame time %1/%2 s").arg(ticksPerFrame).arg(timeScale));
    return error_;
  }
  if (QFileInfo(path_).isDir()) {
    Fail("a folder of that name is in the way");
    return error_;
  }
  width_ = width;
  height_ = height;
  timeScale_ = timeScale;
  ticksPerFrame_ = ticksPerFrame;
  try {
    const size_t area = size_t(width) * height;
    current_.resize(area);
    previous_.resize(area);
    canvas_.resize(area);
    free_.resize(area);
  } catch (const std::bad_alloc&) {
    Fail("out of memory");
    return error_;
  }
  const QString why = file_.Open(path_);
  if (!why.isEmpty()) Fail(why, "no file could be made in its folder");
  return error_;
}

void GifOutput::Load(const QImage& frame) {
  QImage converted;
  const QImage* image = &frame;
  if (frame.format() != QImage::Format_RGB32 && frame.format() != QImage::Format_ARGB32) {
    converted = frame.convertToFormat(QImage::Format_RGB32);
    image = &converted;
  }
  for (int y = 0; y < height_; ++y) {
    const uint32_t* from = reinterpret_cast<const uint32_t*>(image->constScanLine(y));
    uint32_t* to = current_.data() + size_t(y) * width_;
    for (int x = 0; x < width_; ++x) to[x] = from[x] & 0xFFFFFFu;
  }
}

QString GifOutput::AddFrame(const QImage& frame) {
  if (!error_.isEmpty()) return error_;
  if (state_ != State::kBegun) {
    Fail(state_ == State::kNew ? "a frame came before the movie was begun" : "it was already finished");
    return error_;
  }
  if (frame.width() != width_ || frame.height() != height_) {
    Fail(QString("a frame of %1 x %2 pixels in a movie of %3 x %4")
             .arg(frame.width())
             .arg(frame.height())
             .arg(width_)
             .arg(height_),
         QString("frame %1").arg(frames_ + 1));
    return error_;
  }
  try {
    Load(frame);
    EncodeFrame();
  } catch (const std::bad_alloc&) {
    Fail("out of memory", QString("frame %1").arg(frames_ + 1));
  }
  if (error_.isEmpty() && body_.size() >= (size_t(1) << 20)) FlushBody(QString("frame %1").arg(frames_));
  return error_;
}

void GifOutput::EncodeFrame() {
  if (frames_ == 0) {
    EncodeFirst();
  } else {
    // What has to be written: the pixels that changed and do not show their
    // colour yet. The others may stay as the canvas has them.
    Rect rect{width_, height_, 0, 0};
    int right = -1, bottom = -1;
    bool anyFree = false;
    for (int y = 0; y < height_; ++y) {
      const size_t row = size_t(y) * width_;
      const uint32_t* cur = current_.data() + row;
      const uint32_t* prev = previous_.data() + row;
      const uint32_t* shown = canvas_.data() + row;
      uint8_t* stays = free_.data() + row;
      int first = -1, last = -1;
      for (int x = 0; x < width_; ++x) {
        const bool same = cur[x] == shown[x] || cur[x] == prev[x];
        stays[x] = same;
        if (!same) {
          if (first < 0) first = x;
          last = x;
        }
      }
      if (first >= 0) {
        rect.x = std::min(rect.x, first);
        right = std::max(right, last);
        rect.y = std::min(rect.y, y);
        bottom = y;
      }
    }
    if (right < 0) {
      WriteUnchanged();
    } else {
      rect.width = right - rect.x + 1;
      rect.height = bottom - rect.y + 1;
      colours_.Clear();
      bool fits = true;
      for (int y = rect.y; y < rect.y + rect.height && fits; ++y) {
        const size_t row = size_t(y) * width_;
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
          if (free_[row + x]) {
            anyFree = true;
          } else if (!colours_.Count(current_[row + x], 256)) {
            fits = false;
            break;
          }
        }
      }
      // A frame of 256 changed colours has no index left for transparency;
      // it is exact still where the pixels around the changes have colours
      // among those.
      if (!fits || !EncodeExact(rect, anyFree)) EncodeQuantized(rect);
    }
  }
  previous_.swap(current_);
  ++frames_;
}

void GifOutput::EncodeFirst() {
  const Rect rect{0, 0, width_, height_};
  colours_.Clear();
  bool fits = true;
  for (uint32_t c : current_) {
    if (!colours_.Count(c, 256)) {
      fits = false;
      break;
    }
  }
  Encoding& way = first_;
  way = Encoding{};
  way.valid = true;
  if (fits) {
    const std::vector<uint32_t> colours = colours_.ByCount();
    global_ = colours;
    globalUsed_ = int(colours.size());
    for (int i = 0; i < globalUsed_; ++i) globalIndex_.Set(colours[size_t(i)], i);
    way.maxIndex = globalUsed_ - 1;
    way.pixels.resize(current_.size());
    uint32_t lastColour = current_[0];
    int lastIndex = globalIndex_.Find(lastColour);
    for (size_t i = 0; i < current_.size(); ++i) {
      if (current_[i] != lastColour) {
        lastColour = current_[i];
        lastIndex = globalIndex_.Find(lastColour);
      }
      way.pixels[i] = PixelChoice{uint8_t(lastIndex), uint8_t(lastIndex)};
    }
  } else {
    gif::Quantized q;
    const QString why = gif::Quantize(current_.data(), width_, width_, height_, nullptr, nullptr, &q);
    if (!why.isEmpty()) {
      Fail(why, "frame 1");
      return;
    }
    // The entries the picture uses, the most used first.
    std::vector<int> count(q.palette.size(), 0);
    for (uint8_t i : q.indices) ++count[i];
    std::vector<int> order(q.palette.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return count[size_t(a)] > count[size_t(b)]; });
    std::vector<uint8_t> renumber(q.palette.size(), 0);
    global_.clear();
    for (int i : order) {
      if (count[size_t(i)] == 0) break;
      renumber[size_t(i)] = uint8_t(global_.size());
      global_.push_back(q.palette[size_t(i)]);
    }
    globalUsed_ = int(global_.size());
    for (int i = 0; i < globalUsed_; ++i) {
      if (globalIndex_.Find(global_[size_t(i)]) < 0) globalIndex_.Set(global_[size_t(i)], i);
    }
    way.maxIndex = globalUsed_ - 1;
    way.pixels.resize(current_.size());
    for (size_t i = 0; i < current_.size(); ++i) {
      const uint8_t k = renumber[q.indices[i]];
      way.pixels[i] = PixelChoice{k, k};
    }
    // How far the pixels the table does not hold are from their nearest
    // entries: the yardstick for later frames.
    double sum = 0;
    size_t missed = 0;
    uint32_t last = 0xFFFFFFFFu;
    int lastDistance = 0;
    for (uint32_t c : current_) {
      if (c != last) {
        last = c;
        lastDistance = Distance(c, global_[size_t(NearestOf(c))]);
      }
      sum += lastDistance;
      missed += lastDistance > 0;
    }
    globalError_ = missed ? sum / double(missed) : 0;
  }
  // The global table takes the colours that later frames bring, as long as
  // it has room; it is cut to the entries used when its size has to be
  // written (see FlushBody).
  global_.resize(256, 0);
  if (options_.loopForever) {
    static const uint8_t kLoop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                    0x03, 0x01, 0x00, 0x00, 0x00};
    body_.insert(body_.end(), std::begin(kLoop), std::end(kLoop));
  }
  Compress(rect, &way);
  Emit(rect, way);
}

void GifOutput::WriteUnchanged() {
  // A frame that shows what the one before showed lengthens that one.
  const int delay = lastDelay_ + DelayOf(frames_);
  if (delay <= 65535) {
    const uint8_t bytes[2] = {uint8_t(delay), uint8_t(delay >> 8)};
    if (headSize_ == 0 && !streaming_) pending_.back().delay = delay;
    else if (lastDelayAt_ >= bodyWritten_) std::memcpy(body_.data() + (lastDelayAt_ - bodyWritten_), bytes, 2);
    else if (!WriteAt(bytes, 2, off_t(headSize_) + lastDelayAt_, QString("frame %1").arg(frames_ + 1))) return;
    lastDelay_ = delay;
    return;
  }
  // Where it cannot, one transparent pixel: a frame there for its time alone.
  Encoding& way = first_;
  way = Encoding{};
  way.valid = true;
  way.transparent = 0;
  way.pixels.assign(1, PixelChoice{0, 0});
  const Rect rect{0, 0, 1, 1};
  Compress(rect, &way);
  Emit(rect, way);
}

void GifOutput::BuildGlobalWay(const Rect& rect, bool anyFree, Encoding* way) {
  *way = Encoding{};
  const std::vector<uint32_t> colours = colours_.ByCount();
  ways_.Clear();
  std::array<bool, 256> used{};
  int maxIndex = 0;
  for (uint32_t c : colours) {
    int k = globalIndex_.Find(c);
    if (k < 0) {
      k = globalUsed_ + int(way->newGlobal.size());
      if (k >= int(global_.size())) return;
      way->newGlobal.push_back(c);
    }
    ways_.Set(c, k);
    used[size_t(k)] = true;
    maxIndex = std::max(maxIndex, k);
  }
  if (anyFree) {
    for (int k = 0; k < int(global_.size()); ++k) {
      if (!used[size_t(k)]) {
        way->transparent = k;
        maxIndex = std::max(maxIndex, k);
        break;
      }
    }
  }
  way->maxIndex = maxIndex;
  const int reach = (1 << gif::MinCodeSizeFor(maxIndex)) - 1;
  way->pixels.resize(size_t(rect.width) * rect.height);
  PixelChoice* to = way->pixels.data();
  for (int y = rect.y; y < rect.y + rect.height; ++y) {
    const size_t row = size_t(y) * width_;
    for (int x = rect.x; x < rect.x + rect.width; ++x) {
      const size_t i = row + x;
      if (!free_[i]) {
        const uint8_t k = uint8_t(ways_.Find(current_[i]));
        *to++ = PixelChoice{k, k};
        continue;
      }
      int k = ways_.Find(canvas_[i]);
      if (k < 0) k = globalIndex_.Find(canvas_[i]);
      if (k > reach) k = -1;
      if (way->transparent >= 0) {
        const uint8_t t = uint8_t(way->transparent);
        *to++ = PixelChoice{t, k >= 0 ? uint8_t(k) : t};
      } else if (k >= 0) {
        *to++ = PixelChoice{uint8_t(k), uint8_t(k)};
      } else {
        return;  // a pixel this table cannot keep as it is
      }
    }
  }
  way->valid = true;
}

void GifOutput::BuildLocalWay(const Rect& rect, bool anyFree, Encoding* way) {
  *way = Encoding{};
  way->table = colours_.ByCount();
  ways_.Clear();
  for (size_t k = 0; k < way->table.size(); ++k) ways_.Set(way->table[k], int(k));
  if (anyFree && way->table.size() < 256) {
    way->transparent = int(way->table.size());
    way->table.push_back(0);
  }
  way->maxIndex = int(way->table.size()) - 1;
  way->pixels.resize(size_t(rect.width) * rect.height);
  PixelChoice* to = way->pixels.data();
  for (int y = rect.y; y < rect.y + rect.height; ++y) {
    const size_t row = size_t(y) * width_;
    for (int x = rect.x; x < rect.x + rect.width; ++x) {
      const size_t i = row + x;
      if (!free_[i]) {
        const uint8_t k = uint8_t(ways_.Find(current_[i]));
        *to++ = PixelChoice{k, k};
        continue;
      }
      const int k = ways_.Find(canvas_[i]);
      if (way->transparent >= 0) {
        const uint8_t t = uint8_t(way->transparent);
        *to++ = PixelChoice{t, k >= 0 ? uint8_t(k) : t};
      } else if (k >= 0) {
        *to++ = PixelChoice{uint8_t(k), uint8_t(k)};
      } else {
        return;  // a pixel this table cannot keep as it is
      }
    }
  }
  way->valid = true;
}

bool GifOutput::EncodeExact(const Rect& rect, bool anyFree) {
  BuildGlobalWay(rect, anyFree, &first_);
  BuildLocalWay(rect, anyFree, &second_);
  if (!first_.valid && !second_.valid) return false;
  if (first_.valid) Compress(rect, &first_);
  if (second_.valid) Compress(rect, &second_);
  const Encoding& best = !second_.valid || (first_.valid && first_.Cost() <= second_.Cost()) ? first_ : second_;
  for (uint32_t c : best.newGlobal) {
    globalIndex_.Set(c, globalUsed_);
    global_[size_t(globalUsed_++)] = c;
  }
  Emit(rect, best);
  return true;
}

void GifOutput::EncodeQuantized(const Rect& rect) {
  // The global table first, dithered within the changed pixels; a table of
  // the frame's own where that is not close enough.
  std::vector<uint8_t> indices(size_t(rect.width) * rect.height);
  if (RemapToGlobal(rect, &indices) && EncodeLossy(rect, indices, global_, -1, true)) return;
  const size_t origin = size_t(rect.y) * width_ + rect.x;
  std::vector<uint8_t> weights(indices.size());
  for (int y = 0; y < rect.height; ++y) {
    const uint8_t* stays = free_.data() + origin + size_t(y) * width_;
    for (int x = 0; x < rect.width; ++x) weights[size_t(y) * rect.width + x] = stays[x] ? 0 : 255;
  }
  gif::Quantized q;
  const QString why = gif::Quantize(current_.data() + origin, width_, rect.width, rect.height, canvas_.data() + origin,
                                    weights.data(), &q);
  if (q.transparent < 0 && why.isEmpty()) {
    Fail("the picture could not be quantised", QString("frame %1").arg(frames_ + 1));
    return;
  }
  if (!why.isEmpty()) {
    Fail(why, QString("frame %1").arg(frames_ + 1));
    return;
  }
  EncodeLossy(rect, q.indices, q.palette, q.transparent, false);
}

bool GifOutput::RemapToGlobal(const Rect& rect, std::vector<uint8_t>* indices) {
  NearestOf(0);  // brings the search up to date with the table
  // Floyd-Steinberg among the changed pixels: the error of one goes to its
  // changed neighbours only, so what stays as it was gets no speckle.
  // Errors are kept in sixteenths.
  const int w = rect.width;
  std::vector<int> errors(size_t(w + 2) * 6, 0);
  int* here = errors.data() + 3;
  int* below = errors.data() + size_t(w + 2) * 3 + 3;
  double plain = 0;
  size_t missed = 0;
  for (int y = 0; y < rect.height; ++y) {
    const size_t row = size_t(rect.y + y) * width_ + rect.x;
    std::fill(below - 3, below + size_t(w + 1) * 3, 0);
    for (int x = 0; x < w; ++x) {
      if (free_[row + x]) continue;
      const uint32_t c = current_[row + x];
      const int r = int(c >> 16 & 255), g = int(c >> 8 & 255), b = int(c & 255);
      int* e = here + 3 * x;
      const int vr = std::clamp(r + e[0] * kDither / 256, 0, 255);
      const int vg = std::clamp(g + e[1] * kDither / 256, 0, 255);
      const int vb = std::clamp(b + e[2] * kDither / 256, 0, 255);
      const int k = nearest_.Find(vr, vg, vb);
      const uint32_t q = global_[size_t(NearestOf(c))];
      plain += double(Distance(c, q));
      if (q != c) ++missed;
      (*indices)[size_t(y) * w + x] = uint8_t(k);
      const uint32_t p = global_[size_t(k)];
      const int pr = int(p >> 16 & 255), pg = int(p >> 8 & 255), pb = int(p & 255);
      const int er = vr - pr, eg = vg - pg, eb = vb - pb;
      const bool right = x + 1 < w && !free_[row + x + 1];
      const size_t next = row + width_;
      const bool down = y + 1 < rect.height;
      const int d[3] = {er, eg, eb};
      for (int ch = 0; ch < 3; ++ch) {
        if (right) e[3 + ch] += d[ch] * 7;
        if (down) {
          if (x > 0 && !free_[next + x - 1]) below[3 * (x - 1) + ch] += d[ch] * 3;
          if (!free_[next + x]) below[3 * x + ch] += d[ch] * 5;
          if (x + 1 < w && !free_[next + x + 1]) below[3 * (x + 1) + ch] += d[ch];
        }
      }
    }
    std::swap(here, below);
  }
  // Close enough when the changed pixels are no farther from their colours
  // than the first frame's pixels were from theirs, with a little room.
  // Close enough when the changed pixels that the table does not hold are
  // on the whole no farther from their nearest entries than those of the
  // first frame were, with a little room.
  const double error = missed ? plain / double(missed) : 0;
  return error <= globalError_ * 1.25 + 16;
}

int GifOutput::NearestOf(uint32_t colour) {
  if (nearestFor_ != globalUsed_) {
    nearest_.SetPalette(global_.data(), globalUsed_);
    nearestFor_ = globalUsed_;
    std::fill(nearestCache_.begin(), nearestCache_.end(), 0xFFFFFFFFu);
  }
  uint32_t& slot = nearestCache_[(colour * 2654435761u) >> 19];
  if ((slot & 0xFFFFFFu) == colour && slot != 0xFFFFFFFFu) return int(slot >> 24);
  const int k = nearest_.Find(int(colour >> 16 & 255), int(colour >> 8 & 255), int(colour & 255));
  slot = colour | uint32_t(k) << 24;
  return k;
}

bool GifOutput::EncodeLossy(const Rect& rect, const std::vector<uint8_t>& indices,
                            const std::vector<uint32_t>& palette, int transparent, bool global) {
  int t = transparent;
  if (global) {
    std::array<bool, 256> used{};
    for (int y = 0; y < rect.height; ++y) {
      const size_t row = size_t(rect.y + y) * width_ + rect.x;
      for (int x = 0; x < rect.width; ++x)
        if (!free_[row + x]) used[indices[size_t(y) * rect.width + x]] = true;
    }
    for (int k = 0; k < int(palette.size()) && t < 0; ++k)
      if (!used[size_t(k)]) t = k;
  }
  // A pixel may stay as it is where it did not change, where the quantiser
  // found the canvas close enough, or where its colour is what the canvas
  // shows; the rest must be written.
  std::vector<PixelChoice> choice(indices.size());
  Rect crop{rect.x + rect.width, rect.y + rect.height, 0, 0};
  int right = -1, bottom = -1;
  for (int y = 0; y < rect.height; ++y) {
    const size_t row = size_t(rect.y + y) * width_ + rect.x;
    for (int x = 0; x < rect.width; ++x) {
      const size_t at = size_t(y) * rect.width + x;
      const uint32_t shownColour = canvas_[row + x];
      int k = indices[at];
      bool keep = int(k) == t;
      if (free_[row + x]) {
        k = global ? globalIndex_.Find(shownColour) : -1;
        keep = true;
      }
      const bool shown = k >= 0 && k != t && palette[size_t(k)] == shownColour;
      PixelChoice& c = choice[at];
      if (keep && t >= 0) {
        c = PixelChoice{uint8_t(t), shown ? uint8_t(k) : uint8_t(t)};
      } else if (keep && !shown) {
        return false;  // neither transparency nor the colour shown: this table cannot keep it
      } else if (shown) {
        c = PixelChoice{uint8_t(k), t >= 0 ? uint8_t(t) : uint8_t(k)};
      } else {
        c = PixelChoice{uint8_t(k), uint8_t(k)};
        crop.x = std::min(crop.x, rect.x + x);
        crop.y = std::min(crop.y, rect.y + y);
        right = std::max(right, rect.x + x);
        bottom = rect.y + y;
      }
    }
  }
  if (right < 0) {
    WriteUnchanged();
    return true;
  }
  crop.width = right - crop.x + 1;
  crop.height = bottom - crop.y + 1;
  Encoding& way = first_;
  way = Encoding{};
  std::vector<uint8_t> renumber(palette.size(), 0);
  if (global) {
    std::iota(renumber.begin(), renumber.end(), 0);
  } else {
    // The entries the cropped frame uses, the most used first, and the
    // transparent one after them.
    std::vector<int> count(palette.size(), 0);
    for (int y = crop.y; y < crop.y + crop.height; ++y) {
      for (int x = crop.x; x < crop.x + crop.width; ++x) {
        const PixelChoice& c = choice[size_t(y - rect.y) * rect.width + (x - rect.x)];
        if (int(c.first) != t) ++count[c.first];
        if (c.second != c.first && int(c.second) != t) ++count[c.second];
      }
    }
    std::vector<int> order(palette.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return count[size_t(a)] > count[size_t(b)]; });
    for (int i : order) {
      if (count[size_t(i)] == 0) break;
      renumber[size_t(i)] = uint8_t(way.table.size());
      way.table.push_back(palette[size_t(i)]);
    }
    if (t >= 0) {
      renumber[size_t(t)] = uint8_t(way.table.size());
      way.table.push_back(0);
    }
  }
  way.transparent = t >= 0 ? renumber[size_t(t)] : -1;
  way.pixels.resize(size_t(crop.width) * crop.height);
  PixelChoice* to = way.pixels.data();
  int maxIndex = 0;
  for (int y = crop.y; y < crop.y + crop.height; ++y) {
    for (int x = crop.x; x < crop.x + crop.width; ++x) {
      const PixelChoice& c = choice[size_t(y - rect.y) * rect.width + (x - rect.x)];
      *to = PixelChoice{renumber[c.first], renumber[c.second]};
      maxIndex = std::max<int>(maxIndex, to->first);
      ++to;
    }
  }
  // Second choices beyond the code size the first ones need are given up.
  const int reach = (1 << gif::MinCodeSizeFor(maxIndex)) - 1;
  for (PixelChoice& p : way.pixels)
    if (p.second > reach) p.second = p.first;
  way.maxIndex = maxIndex;
  way.valid = true;
  Compress(crop, &way);
  Emit(crop, way);
  return true;
}

void GifOutput::Compress(const Rect& rect, Encoding* way) {
  const size_t count = size_t(rect.width) * rect.height;
  const int codeSize = gif::MinCodeSizeFor(way->maxIndex);
  const bool anyChoice =
      std::any_of(way->pixels.begin(), way->pixels.end(), [](PixelChoice p) { return p.first != p.second; });
  // Which way of writing the free pixels compresses best depends on the
  // picture: they are tried in turn (the last two only where that is cheap)
  // and the smallest kept.
  static constexpr gif::FreeChoice kWays[] = {gif::FreeChoice::kPreferFirst, gif::FreeChoice::kPreferSecond,
                                              gif::FreeChoice::kOnlyFirst, gif::FreeChoice::kOnlySecond};
  const int tries = !anyChoice ? 1 : count <= (size_t(1) << 16) ? 4 : 2;
  way->data.clear();
  for (int i = 0; i < tries; ++i) {
    trialData_.clear();
    lzw_.Encode(way->pixels.data(), count, codeSize, kWays[i], &trialData_, &trialChosen_);
    if (i == 0 || trialData_.size() < way->data.size()) {
      way->data.swap(trialData_);
      way->chosen.swap(trialChosen_);
    }
  }
}

void GifOutput::Emit(const Rect& rect, const Encoding& way) {
  // What the viewer sees from now on.
  const std::vector<uint32_t>& table = way.table.empty() ? global_ : way.table;
  const uint8_t* chosen = way.chosen.data();
  for (int y = rect.y; y < rect.y + rect.height; ++y) {
    uint32_t* shown = canvas_.data() + size_t(y) * width_;
    for (int x = rect.x; x < rect.x + rect.width; ++x, ++chosen) {
      if (int(*chosen) != way.transparent) shown[x] = table[*chosen];
    }
  }
  lastDelay_ = DelayOf(frames_);
  if (headSize_ == 0 && !streaming_) {
    // Kept, with its pixels, for the global table's order (see Reorder).
    Pending frame{rect, lastDelay_, way.table, way.transparent, way.pixels, way.data, 0};
    if (way.table.empty())
      for (uint8_t k : way.chosen) frame.reach = std::max<int>(frame.reach, k);
    pendingBytes_ += frame.pixels.size() * sizeof(PixelChoice) + frame.data.size() + 64;
    pending_.push_back(std::move(frame));
    if (pendingBytes_ <= kPendingBudget) return;
    // Too many to keep: from now on the frames go out as they come.
    streaming_ = true;
    for (const Pending& kept : pending_) Serialize(kept);
    std::vector<Pending>().swap(pending_);
    return;
  }
  Pending frame{rect, lastDelay_, way.table, way.transparent, {}, way.data, 0};
  if (way.table.empty())
    for (uint8_t k : way.chosen) frame.reach = std::max<int>(frame.reach, k);
  Serialize(frame);
}

void GifOutput::Serialize(const Pending& frame) {
  // Graphic control: "do not dispose" (the canvas keeps the frame), the delay
  // and the transparent index.
  body_.insert(body_.end(), {0x21, 0xF9, 0x04, uint8_t(0x04 | (frame.transparent >= 0 ? 1 : 0))});
  lastDelayAt_ = bodyWritten_ + off_t(body_.size());
  Put16(frame.delay);
  body_.push_back(uint8_t(std::max(frame.transparent, 0)));
  body_.push_back(0);
  body_.push_back(0x2C);
  Put16(frame.rect.x);
  Put16(frame.rect.y);
  Put16(frame.rect.width);
  Put16(frame.rect.height);
  if (frame.table.empty()) {
    body_.push_back(0);
    // The highest entry the data holds: the transparent one or one the pixels use.
    globalReach_ = std::max({globalReach_, frame.transparent, frame.reach});
  } else {
    const int size = TableSizeFor(int(frame.table.size()));
    body_.push_back(uint8_t(0x80 | (TableBits(size) - 1)));
    for (int k = 0; k < size; ++k) {
      const uint32_t c = k < int(frame.table.size()) ? frame.table[size_t(k)] : 0;
      body_.insert(body_.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
  }
  body_.insert(body_.end(), frame.data.begin(), frame.data.end());
}

void GifOutput::Reorder() {
  // The entries of the global table that the most frames use come first, so
  // that those frames' indices, and with them their code sizes, are small.
  // The frames are compressed again in that order, which is kept only when
  // it makes the file smaller.
  std::array<int, 256> frames{}, pixels{};
  for (const Pending& frame : pending_) {
    if (!frame.table.empty()) continue;
    std::array<bool, 256> used{};
    for (PixelChoice p : frame.pixels) {
      if (p.first != p.second || int(p.first) == frame.transparent) continue;
      used[p.first] = true;
      ++pixels[p.first];
    }
    for (int k = 0; k < 256; ++k) frames[size_t(k)] += used[size_t(k)];
  }
  std::array<int, 256> order{};
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return frames[size_t(a)] != frames[size_t(b)] ? frames[size_t(a)] > frames[size_t(b)]
                                                  : pixels[size_t(a)] > pixels[size_t(b)];
  });
  std::array<uint8_t, 256> to{};
  for (int i = 0; i < 256; ++i) to[size_t(order[size_t(i)])] = uint8_t(i);
  struct Redone {
    std::vector<uint8_t> data;
    int transparent = -1, reach = 0;
  };
  std::vector<Redone> redone(pending_.size());
  size_t before = 0, after = 0;
  int reach = 0, oldReach = 0;
  Encoding way;
  for (size_t f = 0; f < pending_.size(); ++f) {
    const Pending& frame = pending_[f];
    if (!frame.table.empty()) continue;
    // A fresh transparent index: the lowest that no fixed pixel takes.
    const int oldT = frame.transparent;
    std::array<bool, 256> used{};
    for (PixelChoice p : frame.pixels)
      if (p.first == p.second && int(p.first) != oldT) used[to[p.first]] = true;
    int t = -1;
    if (oldT >= 0)
      for (int k = 0; k < 256 && t < 0; ++k)
        if (!used[size_t(k)]) t = k;
    auto map = [&](uint8_t k) { return int(k) == oldT ? uint8_t(t) : to[k]; };
    int maxIndex = std::max(t, 0);
    way.pixels.resize(frame.pixels.size());
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
      const PixelChoice p = frame.pixels[i];
      way.pixels[i] = PixelChoice{map(p.first), map(p.second)};
      maxIndex = std::max<int>(maxIndex, way.pixels[i].first);
    }
    const int codeReach = (1 << gif::MinCodeSizeFor(maxIndex)) - 1;
    for (PixelChoice& p : way.pixels)
      if (p.second > codeReach) p.second = p.first;
    way.transparent = t;
    way.maxIndex = maxIndex;
    Compress(frame.rect, &way);
    Redone& r = redone[f];
    r.data.swap(way.data);
    r.transparent = t;
    r.reach = std::max(t, 0);
    for (uint8_t k : way.chosen) r.reach = std::max<int>(r.reach, k);
    before += frame.data.size();
    after += r.data.size();
    reach = std::max(reach, r.reach);
    oldReach = std::max({oldReach, frame.reach, frame.transparent});
  }
  before += 3 * size_t(TableSizeFor(oldReach + 1));
  after += 3 * size_t(TableSizeFor(reach + 1));
  if (after >= before) return;
  std::vector<uint32_t> reordered(global_.size());
  for (int i = 0; i < int(global_.size()); ++i) reordered[size_t(i)] = global_[size_t(order[size_t(i)])];
  global_.swap(reordered);
  for (size_t f = 0; f < pending_.size(); ++f) {
    Pending& frame = pending_[f];
    if (!frame.table.empty()) continue;
    frame.data.swap(redone[f].data);
    frame.transparent = redone[f].transparent;
    frame.reach = redone[f].reach;
  }
}

bool GifOutput::WriteAt(const uint8_t* data, size_t size, off_t at, const QString& where) {
  const int fd = file_.Descriptor();
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(ErrnoText(n < 0 ? errno : ENOSPC), where);
      return false;
    }
    data += n;
    size -= size_t(n);
    at += n;
  }
  return true;
}

void GifOutput::FlushBody(const QString& where, bool last) {
  if (headSize_ == 0) {
    // The global table's size goes into the file now: what the frames so far
    // use, and, when more frames are to come, room for the colours they
    // bring.
    int size = globalReach_ + 1;
    if (!last) size = std::max(size, std::min(256, globalUsed_ + std::max(2, globalUsed_ / 2)));
    global_.resize(size_t(TableSizeFor(size)));
    globalUsed_ = std::min(globalUsed_, int(global_.size()));
    headSize_ = 13 + 3 * global_.size();
  }
  if (WriteAt(body_.data(), body_.size(), off_t(headSize_) + bodyWritten_, where)) bodyWritten_ += off_t(body_.size());
  body_.clear();
}

QString GifOutput::Finish() {
  if (state_ == State::kDone) return error_;
  if (error_.isEmpty() && state_ == State::kNew) Fail("it was never begun");
  if (error_.isEmpty() && frames_ == 0) Fail("it has no frames");
  if (error_.isEmpty() && !streaming_) {
    Reorder();
    for (const Pending& frame : pending_) Serialize(frame);
    std::vector<Pending>().swap(pending_);
  }
  if (error_.isEmpty()) {
    body_.push_back(0x3B);  // the trailer
    FlushBody("its end", true);
  }
  if (error_.isEmpty()) {
    // The header, which replaces the mark a hidden file begins with: until
    // now the file was plainly a partial one.
    std::vector<uint8_t> head = {'G', 'I', 'F', '8', '9', 'a'};
    head.push_back(uint8_t(width_));
    head.push_back(uint8_t(width_ >> 8));
    head.push_back(uint8_t(height_));
    head.push_back(uint8_t(height_ >> 8));
    head.push_back(uint8_t(0x80 | 0x70 | (TableBits(int(global_.size())) - 1)));
    head.push_back(0);  // background: entry 0 (the canvas starts transparent in every browser anyway)
    head.push_back(0);  // square pixels
    for (uint32_t c : global_) head.insert(head.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    WriteAt(head.data(), head.size(), 0, "its start");
  }
  if (error_.isEmpty()) {
    const QString why = file_.Commit();
    if (!why.isEmpty()) Fail(why, "the finished file could not take its name");
  }
  file_.Discard();
  state_ = State::kDone;
  std::vector<uint32_t>().swap(current_);
  std::vector<uint32_t>().swap(previous_);
  std::vector<uint32_t>().swap(canvas_);
  std::vector<uint8_t>().swap(free_);
  return error_;
}

void GifOutput::Abandon() {
  if (state_ == State::kDone) return;
  Fail("it was not kept");
  Finish();
}

}  // namespace

FrameOutputPtr MakeGifOutput(const QString& path, const FrameOutputOptions& options) {
  return std::make_unique<GifOutput>(path, options);
}
