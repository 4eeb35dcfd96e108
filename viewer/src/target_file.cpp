#include "tessview/target_file.h"

#include <QFile>

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

}  // namespace

TargetFile read_target_file(const QString& path) {
  TargetFile result;
  result.format = format_for_name(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    result.open_error = file.errorString();
    if (result.open_error.isEmpty()) result.open_error = QStringLiteral("unknown error");
    return result;
  }
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
  return QStringLiteral("%1 (*.BM4 *.BMP4 *.BMP1)").arg(QLatin1String(kFilterDescription));
}

}  // namespace tessview
