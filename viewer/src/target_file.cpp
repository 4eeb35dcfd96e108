#include "tessview/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace tessview {

Format format_for_name(const QString& path) {
  return path.endsWith(QStringLiteral(".bmp1"), Qt::CaseInsensitive) ? Format::BMP1 : Format::BMP4;
}

namespace {

// Reads until the section is full, the file ends or a read fails; a failed
// read keeps what came before it and says why it stopped.
void read_section(QFile& file, Section& section) {
  while (section.got < section.bytes.size()) {
    const qint64 n = file.read(reinterpret_cast<char*>(section.bytes.data() + section.got),
                               static_cast<qint64>(section.bytes.size() - section.got));
    if (n < 0) {
      section.error = file.errorString();
      return;
    }
    if (n == 0) return;
    section.got += static_cast<std::size_t>(n);
  }
}

// "Bitmap data successfully read (8000 bytes)" only when all of it arrived.
QString section_message(const QString& name, const Section& section, bool with_size) {
  if (section.complete()) {
    return with_size ? QStringLiteral("%1 successfully read (%2 bytes)").arg(name).arg(section.bytes.size())
                     : QStringLiteral("%1 successfully read").arg(name);
  }
  QString text =
      QStringLiteral("%1 short: read %2 of %3 bytes").arg(name).arg(section.got).arg(section.bytes.size());
  if (!section.error.isEmpty()) text += QStringLiteral(" (%1)").arg(section.error);
  return text;
}

QString system_error(int error) {
  const QString text = QString::fromLocal8Bit(std::strerror(error));
  return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

// What a path names when it is not a regular file.
QString not_regular(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("a folder, not a regular file");
  if (S_ISFIFO(mode)) return QStringLiteral("a FIFO, not a regular file");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device, not a regular file");
  if (S_ISSOCK(mode)) return QStringLiteral("a socket, not a regular file");
  return QStringLiteral("not a regular file");
}

// Opens a regular file for reading, refusing anything else before opening
// it: a FIFO or a terminal would hold the viewer until someone writes to it.
// The open itself does not wait either, should the file be swapped for a
// FIFO in between.
bool open_regular_file(const QString& path, QFile& file, QString& error) {
  const QByteArray name = QFile::encodeName(path);
  struct stat st {};
  if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = not_regular(st.st_mode);
    return false;
  }
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = system_error(errno);
    return false;
  }
  if (::fstat(fd, &st) != 0) {
    error = system_error(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = not_regular(st.st_mode);
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    error = file.errorString().isEmpty() ? QStringLiteral("unknown error") : file.errorString();
    ::close(fd);
    return false;
  }
  return true;
}

}  // namespace

qint64 TargetFile::extra_bytes() const {
  const qint64 size = static_cast<qint64>(format == Format::BMP1 ? kBitmapBytes + kPairBytes + kPaletteBytes
                                                                   : kPixelBytes + kPaletteBytes);
  return length > size ? length - size : 0;
}

TargetFile read_target_file(const QString& path) {
  TargetFile result;
  result.format = format_for_name(path);
  QFile file;
  if (!open_regular_file(path, file, result.open_error)) return result;
  result.length = file.size();
  if (result.format == Format::BMP1) {
    result.bitmap = Section(kBitmapBytes);
    result.pairs = Section(kPairBytes);
    read_section(file, result.bitmap);
    read_section(file, result.pairs);
  } else {
    result.pixels = Section(kPixelBytes);
    read_section(file, result.pixels);
  }
  result.palette = Section(kPaletteBytes);
  read_section(file, result.palette);
  return result;
}

QString other_picture_format(const TargetFile& file) {
  const Section& first = file.format == Format::BMP1 ? file.bitmap : file.pixels;
  const qint64 size = static_cast<qint64>(file.format == Format::BMP1 ? kBitmapBytes + kPairBytes + kPaletteBytes
                                                                      : kPixelBytes + kPaletteBytes);
  if (file.length == size || first.got < 18) return {};
  const std::uint8_t* b = first.bytes.data();
  const auto starts = [b](std::string_view signature) {
    return std::equal(signature.begin(), signature.end(), b,
                      [](char s, std::uint8_t c) { return static_cast<std::uint8_t>(s) == c; });
  };
  const auto word = [b](std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
  };
  using namespace std::string_view_literals;
  if (starts("\x89PNG\r\n\x1a\n"sv)) return QStringLiteral("PNG");
  // The start of image, then the first marker of any segment.
  if (starts("\xff\xd8\xff"sv) && b[3] >= 0xC0 && b[3] != 0xFF) return QStringLiteral("JPEG");
  if (starts("GIF87a"sv) || starts("GIF89a"sv)) return QStringLiteral("GIF");
  if (starts("II*\0"sv) || starts("MM\0*"sv)) return QStringLiteral("TIFF");
  if (starts("RIFF"sv) && std::equal(b + 8, b + 12, "WEBP")) return QStringLiteral("WebP");
  // "BM" alone is two pixels' worth of bytes; a BMP also has its reserved
  // words zero and an info header of one of the sizes the format knows.
  const std::uint32_t info = word(14);
  if (starts("BM"sv) && word(6) == 0 &&
      (info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124))
    return QStringLiteral("BMP");
  return {};
}

QString number_text(qint64 value) {
  return value < 0 ? QString::number(value) : QStringLiteral(" ") + QString::number(value);
}

QStringList read_messages(const QString& path, const TargetFile& file, QStringList* problems) {
  QStringList dummy;
  QStringList& trouble = problems ? *problems : dummy;
  if (!file.opened()) {
    trouble << QStringLiteral("Cannot open %1: %2").arg(path, file.open_error);
    return {trouble.back()};
  }
  // The line of each section; those of incomplete ones are problems too.
  auto report = [&trouble](const QString& name, const Section& section, bool with_size) {
    const QString line = section_message(name, section, with_size);
    if (!section.complete()) trouble << line;
    return line;
  };

  QStringList lines{QStringLiteral("File length: ") + number_text(file.length)};
  if (file.format == Format::BMP1) {
    lines << QStringLiteral("Reading BMP1 file format")
          << report(QStringLiteral("Bitmap data"), file.bitmap, true)
          << report(QStringLiteral("Color pairs data"), file.pairs, true)
          << report(QStringLiteral("Palette data"), file.palette, true)
          << QStringLiteral("Raw palette data:");
    QString hex;
    for (std::uint8_t b : file.palette.bytes)
      hex += QStringLiteral("%1").arg(static_cast<uint>(b), 2, 16, QLatin1Char('0'));
    lines << hex.toUpper();
  } else {
    lines << QStringLiteral("Reading BMP4 file format");
    // Pixels and palette share one line; the count of bytes read tells where
    // the file ended.
    Section whole(kPixelBytes + kPaletteBytes);
    whole.got = file.pixels.got + file.palette.got;
    whole.error = !file.pixels.error.isEmpty() ? file.pixels.error : file.palette.error;
    lines << report(QStringLiteral("BMP4 data"), whole, false);
  }
  // Only the format's own bytes are drawn; say so when there were more.
  if (file.extra_bytes() > 0) {
    trouble << QStringLiteral("Ignored %1 bytes after the end of the %2 data")
                   .arg(file.extra_bytes())
                   .arg(file.format == Format::BMP1 ? QStringLiteral("BMP1") : QStringLiteral("BMP4"));
    lines << trouble.back();
  }
  return lines;
}

Palette decode_palette(const std::vector<std::uint8_t>& bytes) {
  Palette palette{};
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t a = 2 * i < bytes.size() ? bytes[2 * i] : 0;
    const std::uint32_t b = 2 * i + 1 < bytes.size() ? bytes[2 * i + 1] : 0;
    const std::uint32_t red = (b & 15) * 17;
    const std::uint32_t green = (a >> 4) * 17;
    const std::uint32_t blue = (a & 15) * 17;
    palette[i] = 0xFF000000u + red * 65536 + green * 256 + blue;
  }
  return palette;
}

QString colour_line(int index, std::uint32_t argb) {
  return QStringLiteral("Color %1: R=%2 G=%3 B=%4")
      .arg(number_text(index))
      .arg((argb >> 16) & 0xFF)
      .arg((argb >> 8) & 0xFF)
      .arg(argb & 0xFF);
}

QString dialog_filter() {
  QStringList patterns;
  for (const char* ending : kFileEndings) patterns << QStringLiteral("*.") + QLatin1String(ending);
  return QStringLiteral("%1 (%2)").arg(QLatin1String(kFilterDescription), patterns.join(QLatin1Char(' ')));
}

}  // namespace tessview
