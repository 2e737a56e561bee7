// The JPEG page decoder (libjpeg-turbo).
#include "project/pageimage.h"
#include "project/pageimage_p.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

// After jpeglib.h, whose configuration decides whether the arithmetic-coding messages exist.
#include <jerror.h>

namespace pageimage {

using namespace detail;

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: ours jumps
// back to the decoder with the message instead of ending the process.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void jpegFailWith(j_common_ptr cinfo, const char* text)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

// Warnings are not fatal to libjpeg: where picture data is missing it pads the page with
// grey and carries on. A page with a grey hole is a broken page here, so every warning
// that means scan data is missing or unusable ends the decoding:
// - the file ends early (JWRN_JPEG_EOF);
// - a marker (often the end-of-image marker of a file cut short and closed again) comes
//   where scan data should continue (JWRN_HIT_MARKER);
// - a restart marker is missing, so the data up to the next one is lost
//   (JWRN_MUST_RESYNC);
// - a code that no table holds, after which the decoder drops the rest of the segment
//   (JWRN_HUFF_BAD_CODE, JWRN_ARITH_BAD_CODE).
// The other warnings leave every pixel decoded (stray bytes between markers, an unknown
// JFIF revision or Adobe transform code, an odd progression order, an unreadable colour
// profile) and still give the whole picture.
void jpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
        jpegFailWith(cinfo, "the picture data stops early (the file is cut short or damaged)");
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
        jpegFailWith(cinfo, "the picture data is damaged");
    default:
        cinfo->err->num_warnings++;
    }
}

// Called between rows and scans: a progressive file with an absurd number of scans would
// keep the decoder busy for a very long time, so it is refused.
void jpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > maxJpegScans)
        jpegFailWith(cinfo, "The progressive JPEG has too many scans");
}

// Converts a row of CMYK samples, decoded in place into a Format_RGB32 row, to RGB. Files
// with an Adobe marker (as Photoshop and ImageMagick write them) store the inks inverted:
// 255 means no ink.
void cmykRowToRgb(uchar* row, int width, bool inverted)
{
    auto* out = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x) {
        const uchar* p = row + 4 * x;
        int c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(div255(c * k), div255(m * k), div255(y * k));
    }
}

class JpegDecoder {
public:
    JpegDecoder()
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::memset(&m_err, 0, sizeof m_err);
        std::memset(&m_progress, 0, sizeof m_progress);
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&m_info); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    QString message() const { return QString::fromLocal8Bit(m_err.message); }
    int width() const { return int(m_info.output_width); }
    int height() const { return int(m_info.output_height); }

    // Reads the header and sets up the output; false with message() on a broken file.
    bool readHeader(const uchar* data, size_t size, qint64 maxBytes)
    {
        m_info.err = jpeg_std_error(&m_err.pub);
        m_err.pub.error_exit = jpegErrorExit;
        m_err.pub.emit_message = jpegEmitMessage;
        if (setjmp(m_err.jump))
            return false;
        jpeg_create_decompress(&m_info);
        // No backing store here: a file whose working buffers would exceed this fails
        // with an error instead of exhausting the memory.
        m_info.mem->max_memory_to_use = long(maxBytes);
        m_progress.progress_monitor = jpegProgress;
        m_info.progress = &m_progress;
        jpeg_mem_src(&m_info, data, static_cast<unsigned long>(size));
        jpeg_read_header(&m_info, TRUE);

        m_cmyk = m_info.jpeg_color_space == JCS_CMYK || m_info.jpeg_color_space == JCS_YCCK;
        m_inverted = m_cmyk && m_info.saw_Adobe_marker;
        if (m_cmyk)
            m_info.out_color_space = JCS_CMYK;
        else
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            m_info.out_color_space = JCS_EXT_BGRX; // QRgb 0xffRRGGBB in memory order
#else
            m_info.out_color_space = JCS_EXT_XRGB;
#endif
        jpeg_calc_output_dimensions(&m_info);
        return true;
    }

    // The fewest bytes of scan data that can hold the picture the header declares. With
    // Huffman coding every 8 x 8 block of every component takes at least one bit (its DC
    // code, a code being at least one bit long). Arithmetic coding can code an empty block
    // in less than a bit: no bound then.
    qint64 leastScanBytes() const
    {
        if (m_info.arith_code)
            return 0;
        qint64 blocks = 0;
        for (int i = 0; i < m_info.num_components; ++i)
            blocks += qint64(m_info.comp_info[i].width_in_blocks) *
                      qint64(m_info.comp_info[i].height_in_blocks);
        return blocks / 8;
    }

    // Decodes every row into the image's rows; false with message() on a broken file.
    bool readRows(QImage* image)
    {
        if (setjmp(m_err.jump))
            return false;
        jpeg_start_decompress(&m_info);
        if (m_info.output_width != unsigned(image->width()) ||
            m_info.output_height != unsigned(image->height()) || m_info.output_components != 4)
            jpegFailWith(reinterpret_cast<j_common_ptr>(&m_info), "Unexpected JPEG output layout");
        while (m_info.output_scanline < m_info.output_height) {
            const unsigned first = m_info.output_scanline;
            JSAMPROW rows[16];
            const unsigned want =
                std::min<unsigned>({unsigned(std::max(m_info.rec_outbuf_height, 1)), 16u,
                                    m_info.output_height - first});
            for (unsigned i = 0; i < want; ++i)
                rows[i] = image->scanLine(int(first + i));
            const unsigned got = jpeg_read_scanlines(&m_info, rows, want);
            if (got == 0)
                jpegFailWith(reinterpret_cast<j_common_ptr>(&m_info),
                             "The JPEG data stopped early");
            if (m_cmyk)
                for (unsigned i = 0; i < got; ++i)
                    cmykRowToRgb(rows[i], image->width(), m_inverted);
        }
        jpeg_finish_decompress(&m_info);
        return true;
    }

private:
    jpeg_decompress_struct m_info;
    JpegErrorManager m_err;
    jpeg_progress_mgr m_progress;
    bool m_cmyk = false;
    bool m_inverted = false;
};

QString cannotRead(const QString& name, const QString& why)
{
    return QStringLiteral("Cannot read the JPEG image %1: %2").arg(name, why);
}

} // namespace

QImage decodeJpeg(const QByteArray& bytes, const QString& name, QString* error, qint64 maxBytes)
{
    const QString kind = QStringLiteral("JPEG");
    if (bytes.isEmpty())
        return fail(error, QStringLiteral("The JPEG image %1 is an empty file.").arg(name));
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = size_t(bytes.size());

    JpegDecoder decoder;
    if (!decoder.readHeader(data, size, maxBytes))
        return fail(error, cannotRead(name, decoder.message()));
    if (!sizeAllowed(decoder.width(), decoder.height(), maxBytes))
        return fail(error, tooLarge(kind, name, decoder.width(), decoder.height()));
    // A header that declares a huge picture over a few bytes of data would otherwise cost
    // a page-sized allocation and a long decode before the data runs out.
    if (bytes.size() < decoder.leastScanBytes())
        return fail(error, cannotRead(name, QStringLiteral("the file is far too small for a "
                                                           "picture of %1 x %2 pixels; its "
                                                           "picture data is missing")
                                                .arg(decoder.width())
                                                .arg(decoder.height())));
    QImage image = newPage(decoder.width(), decoder.height());
    if (image.isNull())
        return fail(error, noMemory(kind, name, decoder.width(), decoder.height()));
    if (!decoder.readRows(&image))
        return fail(error, cannotRead(name, decoder.message()));
    return image;
}

} // namespace pageimage
