// A JPEG page image as a friend's project brings it, decoded from memory.
#include "fuzzinput.h"
#include "fuzzpage.h"
#include "project/pageimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString error;
    const QImage page = pageimage::decodeJpeg(
        fuzzinput::bytes(data, size), QStringLiteral("page.jpeg"), &error, fuzzpage::maxBytes);
    fuzzpage::check(page, error);
    return 0;
}
