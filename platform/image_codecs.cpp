// Image codecs over GdkPixbuf (decoding all five formats, encoding four) and giflib (encoding
// GIF).
//
// GdkPixbuf holds RGB or RGBA rows with a row stride; the runtime holds packed B, G, R, A words.
// The two conversions below are the only places where the byte orders meet.
#include "platform/image_codecs.h"

#include "platform/premultiply.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gif_lib.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace xol::platform::image_codecs {
namespace {

// GdkPixbuf's names of the formats, in Format order.
constexpr const char* kPixbufNames[kFormatCount] = {"bmp", "png", "gif", "jpeg", "tiff"};
// The encoders that keep an alpha channel.
constexpr bool kKeepsAlpha[kFormatCount] = {false, true, false, false, true};
// The JPEG quality (0-100) of the encoder: high, as an imaging component's default is.
constexpr const char* kJpegQuality = "90";

constexpr int kBytesPerPixel = 4;
constexpr uint8_t kOpaque = 255;
// GIF has one transparent palette entry and no partial alpha: pixels below half opacity take
// that entry, the others their colour.
constexpr uint8_t kGifAlphaThreshold = 128;
constexpr int kGifMaxColours = 256;
// Graphic control block: flags (bit 0: a transparent entry is given), delay (2 bytes), entry.
constexpr int kGifControlBlockSize = 4;
constexpr GifByteType kGifHasTransparent = 1;

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
using LoaderPtr = std::unique_ptr<GdkPixbufLoader, GObjectUnref>;
using PixbufPtr = std::unique_ptr<GdkPixbuf, GObjectUnref>;

struct ErrorPtr {
  GError* error = nullptr;
  ~ErrorPtr() {
    if (error) g_error_free(error);
  }
};

// The size a loader announces before it makes its pixels: a picture too large for an image
// is refused even when the loader cannot make it. A few bytes can announce gigabytes of
// pixels, which a loader then makes and fills: it is asked for the smallest size instead.
struct SizeCheck {
  const Limits& limits;
  Size* picture;
  bool too_large = false;
};

void on_size_prepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
  auto* check = static_cast<SizeCheck*>(data);
  *check->picture = Size{uint32_t(std::max(width, 0)), uint32_t(std::max(height, 0))};
  if (!check->limits.exceeded_by(check->picture->width, check->picture->height)) return;
  check->too_large = true;
  gdk_pixbuf_loader_set_size(loader, 1, 1);
}

// GdkPixbuf shows a BMP cut short as if the missing rows were there, and believes the size its
// header claims for itself (allocating gigabytes for a few bytes of data): refuse a header
// that the data cannot hold, and an uncompressed picture whose rows do not all fit. Compressed
// pictures are left to the loader.
bool bmp_cut_short(const uint8_t* bytes, size_t size) {
  constexpr size_t kFileHeaderSize = 14;
  constexpr size_t kInfoHeaderEnd = 34;        // through the compression field
  constexpr uint32_t kInfoHeaderSize = 40;
  constexpr uint32_t kUncompressed = 0, kBitFields = 3;
  auto read = [&](size_t at, int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    return value;
  };
  if (size < kFileHeaderSize + 4 || read(14, 4) > size - kFileHeaderSize) return true;
  if (size < kInfoHeaderEnd) return false;     // an old 12-byte header: left to the loader
  const uint32_t offset = read(10, 4), header = read(14, 4), width = read(18, 4);
  const int32_t height = int32_t(read(22, 4));
  const uint32_t bits = read(28, 2), compression = read(30, 4);
  if (header < kInfoHeaderSize || (compression != kUncompressed && compression != kBitFields))
    return false;
  const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  const uint64_t rows = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
  return uint64_t(offset) + stride * rows > size;
}

// The pixbuf's rows as packed B, G, R, A words (A 255 without an alpha channel), undoing the
// premultiplication of a pixbuf that holds it.
void pixbuf_to_words(const GdkPixbuf* pixbuf, bool premultiplied, uint32_t* out) {
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* rows = gdk_pixbuf_read_pixels(pixbuf);
  auto* target = reinterpret_cast<uint8_t*>(out);
  for (int y = 0; y < height; ++y) {
    const guint8* from = rows + size_t(y) * stride;
    for (int x = 0; x < width; ++x, from += channels, target += kBytesPerPixel) {
      target[0] = from[2];
      target[1] = from[1];
      target[2] = from[0];
      target[3] = channels == 4 ? from[3] : kOpaque;
      if (premultiplied && channels == 4) {
        const uint8_t a = target[3];
        for (int c = 0; c < 3; ++c) target[c] = a ? unpremultiply(target[c], a) : 0;
      }
    }
  }
}

PixbufPtr words_to_pixbuf(const uint32_t* pixels, uint32_t width, uint32_t height, bool alpha) {
  PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, int(width), int(height)));
  if (!pixbuf) return pixbuf;
  const int channels = alpha ? 4 : 3;
  const int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  guint8* rows = gdk_pixbuf_get_pixels(pixbuf.get());
  const auto* from = reinterpret_cast<const uint8_t*>(pixels);
  for (uint32_t y = 0; y < height; ++y) {
    guint8* to = rows + size_t(y) * stride;
    for (uint32_t x = 0; x < width; ++x, to += channels, from += kBytesPerPixel) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      if (alpha) to[3] = from[3];
    }
  }
  return pixbuf;
}

// ---- TIFF with straight alpha ----

// GdkPixbuf reads TIFF through libtiff's RGBA interface, which premultiplies unassociated
// (straight) alpha and so loses the colour of faint pixels. The common case, 8-bit RGBA in one
// plane with straight alpha, is read here row by row, exactly; every other TIFF goes to
// GdkPixbuf, and its premultiplied pixels are divided back.
struct MemoryFile {
  const uint8_t* bytes;
  toff_t size, at;
};

tsize_t memory_read(thandle_t handle, tdata_t buffer, tsize_t n) {
  auto* file = static_cast<MemoryFile*>(handle);
  const toff_t count = std::min<toff_t>(toff_t(n), file->size - std::min(file->at, file->size));
  std::memcpy(buffer, file->bytes + file->at, count);
  file->at += count;
  return tsize_t(count);
}
tsize_t memory_write(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  const toff_t base = whence == SEEK_CUR ? file->at : whence == SEEK_END ? file->size : 0;
  file->at = base + offset;
  return file->at;
}
int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int memory_map(thandle_t, tdata_t*, toff_t*) { return 0; }
void memory_unmap(thandle_t, tdata_t, toff_t) {}

struct TiffClose {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Keeps libtiff from printing to stderr while it reads our data.
struct QuietTiff {
  TIFFErrorHandler errors = TIFFSetErrorHandler(nullptr);
  TIFFErrorHandler warnings = TIFFSetWarningHandler(nullptr);
  ~QuietTiff() {
    TIFFSetErrorHandler(errors);
    TIFFSetWarningHandler(warnings);
  }
};

enum class TiffRead { NOT_STRAIGHT_RGBA, DONE, FAILED, TOO_LARGE };

TiffRead read_straight_tiff(const uint8_t* bytes, size_t size, const Limits& limits,
                            Size* picture, PixelSink sink, void* context) {
  QuietTiff quiet;
  MemoryFile file{bytes, toff_t(size), 0};
  std::unique_ptr<TIFF, TiffClose> tiff(TIFFClientOpen(
      "image", "rm", &file, memory_read, memory_write, memory_seek, memory_close, memory_size,
      memory_map, memory_unmap));
  if (!tiff) return TiffRead::FAILED;
  uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, extra_count = 0;
  uint16_t* extra = nullptr;
  uint32_t width = 0, height = 0;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  if (!TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) ||
      !TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
    return TiffRead::FAILED;
  if (bits != 8 || samples != 4 || planar != PLANARCONFIG_CONTIG ||
      photometric != PHOTOMETRIC_RGB || extra_count != 1 || extra[0] != EXTRASAMPLE_UNASSALPHA)
    return TiffRead::NOT_STRAIGHT_RGBA;
  *picture = Size{width, height};
  if (!width || !height) return TiffRead::FAILED;
  if (limits.exceeded_by(width, height)) return TiffRead::TOO_LARGE;
  const size_t row_bytes = size_t(width) * kBytesPerPixel;
  if (size_t(TIFFScanlineSize(tiff.get())) != row_bytes) return TiffRead::FAILED;
  // Every row is read before the sink is asked, so a file cut short leaves nothing behind.
  std::vector<uint8_t> rows(row_bytes * height);
  for (uint32_t y = 0; y < height; ++y)
    if (TIFFReadScanline(tiff.get(), &rows[y * row_bytes], y, 0) < 0) return TiffRead::FAILED;
  uint8_t* target = reinterpret_cast<uint8_t*>(sink(width, height, context));
  if (!target) return TiffRead::DONE;
  for (size_t i = 0; i < rows.size(); i += kBytesPerPixel) {
    target[i] = rows[i + 2];
    target[i + 1] = rows[i + 1];
    target[i + 2] = rows[i];
    target[i + 3] = rows[i + 3];
  }
  return TiffRead::DONE;
}

// ---- GIF ----

uint32_t rgb_of(const uint8_t* pixel) {
  return uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0];
}
bool gif_transparent(const uint8_t* pixel) { return pixel[3] < kGifAlphaThreshold; }

struct GifPicture {
  std::vector<GifColorType> palette;
  std::vector<GifByteType> indexes;   // one per pixel
  int transparent = -1;               // palette entry of the transparent pixels, or -1
};

// Appends the transparent entry to the palette and gives it to the pixels below half opacity.
void add_transparent_entry(const uint8_t* bytes, size_t count, GifPicture* picture) {
  picture->transparent = int(picture->palette.size());
  picture->palette.push_back(GifColorType{0, 0, 0});
  for (size_t i = 0; i < count; ++i)
    if (gif_transparent(bytes + i * kBytesPerPixel))
      picture->indexes[i] = GifByteType(picture->transparent);
}

// The exact palette when the opaque colours fit in it, else false.
bool exact_palette(const uint8_t* bytes, size_t count, GifPicture* picture) {
  std::unordered_map<uint32_t, int> entries;
  bool any_transparent = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* pixel = bytes + i * kBytesPerPixel;
    if (gif_transparent(pixel)) {
      any_transparent = true;
      continue;
    }
    auto [at, added] = entries.try_emplace(rgb_of(pixel), int(entries.size()));
    if (added && entries.size() + any_transparent > size_t(kGifMaxColours)) return false;
    picture->indexes[i] = GifByteType(at->second);
  }
  if (entries.size() + any_transparent > size_t(kGifMaxColours)) return false;
  picture->palette.resize(entries.size());
  for (auto [rgb, entry] : entries)
    picture->palette[entry] = GifColorType{GifByteType(rgb >> 16), GifByteType(rgb >> 8),
                                           GifByteType(rgb)};
  if (any_transparent) add_transparent_entry(bytes, count, picture);
  return true;
}

// A median-cut palette of the colours, one entry kept back for transparency when needed.
bool quantised_palette(const uint8_t* bytes, uint32_t width, uint32_t height,
                       GifPicture* picture) {
  const size_t count = size_t(width) * height;
  std::vector<GifByteType> red(count), green(count), blue(count);
  bool any_transparent = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* pixel = bytes + i * kBytesPerPixel;
    red[i] = pixel[2];
    green[i] = pixel[1];
    blue[i] = pixel[0];
    any_transparent |= gif_transparent(pixel);
  }
  int size = kGifMaxColours - any_transparent;
  picture->palette.resize(kGifMaxColours);
  if (GifQuantizeBuffer(width, height, &size, red.data(), green.data(), blue.data(),
                        picture->indexes.data(), picture->palette.data()) != GIF_OK)
    return false;
  picture->palette.resize(size);
  if (any_transparent) add_transparent_entry(bytes, count, picture);
  return true;
}

int write_to_string(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
  return length;
}

bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height, std::string* out) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(pixels);
  GifPicture picture;
  picture.indexes.resize(size_t(width) * height);
  if (!exact_palette(bytes, picture.indexes.size(), &picture) &&
      !quantised_palette(bytes, width, height, &picture))
    return false;
  // A GIF colour table has a power-of-two size, two entries at least.
  const int bits = std::max(1, GifBitSize(int(picture.palette.size())));
  picture.palette.resize(size_t(1) << bits, GifColorType{0, 0, 0});
  ColorMapObject* map = GifMakeMapObject(1 << bits, picture.palette.data());
  if (!map) return false;
  out->clear();
  int error = 0;
  GifFileType* gif = EGifOpen(out, write_to_string, &error);
  if (!gif) {
    GifFreeMapObject(map);
    return false;
  }
  bool ok = true;
  if (picture.transparent >= 0) {
    EGifSetGifVersion(gif, true);
    GifByteType control[kGifControlBlockSize] = {kGifHasTransparent, 0, 0,
                                                 GifByteType(picture.transparent)};
    ok = EGifPutScreenDesc(gif, int(width), int(height), bits, 0, map) == GIF_OK &&
         EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, kGifControlBlockSize, control) == GIF_OK;
  } else {
    ok = EGifPutScreenDesc(gif, int(width), int(height), bits, 0, map) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, int(width), int(height), false, nullptr) == GIF_OK;
  for (uint32_t y = 0; ok && y < height; ++y)
    ok = EGifPutLine(gif, picture.indexes.data() + size_t(y) * width, int(width)) == GIF_OK;
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  GifFreeMapObject(map);
  return ok;
}

// The loaders complain on stderr about the damaged data they meet; the caller hears of the
// failure as an error of its own, so the complaints are dropped.
void quiet_loaders() {
  static const bool quiet = [] {
    g_log_set_handler(
        "GdkPixbuf",
        GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    return true;
  }();
  (void)quiet;
}

}  // namespace

Decoded decode(Format format, const uint8_t* bytes, size_t size, const Limits& limits,
               Size* picture, PixelSink sink, void* context) {
  quiet_loaders();
  *picture = Size{};
  SizeCheck check{limits, picture};
  if (format == FORMAT_BMP && bmp_cut_short(bytes, size)) return Decoded::UNREADABLE;
  if (format == FORMAT_TIFF) {
    switch (read_straight_tiff(bytes, size, limits, picture, sink, context)) {
      case TiffRead::DONE: return Decoded::OK;
      case TiffRead::FAILED: return Decoded::UNREADABLE;
      case TiffRead::TOO_LARGE: return Decoded::TOO_LARGE;
      case TiffRead::NOT_STRAIGHT_RGBA: break;
    }
  }
  ErrorPtr error;
  LoaderPtr loader(gdk_pixbuf_loader_new_with_type(kPixbufNames[format], &error.error));
  if (!loader) return Decoded::UNREADABLE;
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(on_size_prepared), &check);
  bool written = gdk_pixbuf_loader_write(loader.get(), bytes, size, &error.error);
  // Closing also when writing failed: a loader must be closed before it is freed.
  bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &error.error : nullptr);
  if (check.too_large) return Decoded::TOO_LARGE;
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader.get()) : nullptr;
  if (!pixbuf || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 ||
      gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_n_channels(pixbuf) < 3)
    return Decoded::UNREADABLE;
  *picture = Size{uint32_t(gdk_pixbuf_get_width(pixbuf)), uint32_t(gdk_pixbuf_get_height(pixbuf))};
  if (picture->width == 0 || picture->height == 0) return Decoded::UNREADABLE;
  if (limits.exceeded_by(picture->width, picture->height)) return Decoded::TOO_LARGE;
  // The pixbuf belongs to the loader, which lives until the copy is made.
  uint32_t* target = sink(picture->width, picture->height, context);
  if (target) pixbuf_to_words(pixbuf, format == FORMAT_TIFF, target);
  return Decoded::OK;
}

bool encode(Format format, const uint32_t* pixels, uint32_t width, uint32_t height,
            std::string* out) {
  if (format == FORMAT_GIF) return encode_gif(pixels, width, height, out);
  PixbufPtr pixbuf = words_to_pixbuf(pixels, width, height, kKeepsAlpha[format]);
  if (!pixbuf) return false;
  gchar* buffer = nullptr;
  gsize size = 0;
  ErrorPtr error;
  const bool saved =
      format == FORMAT_JPEG
          ? gdk_pixbuf_save_to_buffer(pixbuf.get(), &buffer, &size, kPixbufNames[format],
                                      &error.error, "quality", kJpegQuality, nullptr)
          : gdk_pixbuf_save_to_buffer(pixbuf.get(), &buffer, &size, kPixbufNames[format],
                                      &error.error, nullptr);
  if (saved) out->assign(buffer, size);
  g_free(buffer);
  return saved;
}

}  // namespace xol::platform::image_codecs
