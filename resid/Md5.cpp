// The MD5 message digest: four rounds of sixteen steps over 64-byte blocks.
#include "resid/Md5.h"

#include "base/ByteOrder.h"

#include <cstring>

namespace {

const uint8_t Padding[64] = {0x80};

uint32_t RotateLeft(uint32_t value, unsigned count) { return (value << count) | (value >> (32 - count)); }

// Words are assembled byte by byte so that neither the host's byte order nor the input's alignment matters.
void DecodeWords(const uint8_t* bytes, uint32_t* words, unsigned count) {
    for (unsigned k = 0; k < count; ++k)
        words[k] = LoadU32LE(bytes + 4 * k);
}

uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Function)(uint32_t, uint32_t, uint32_t)>
void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, unsigned shift, uint32_t constant) {
    a = b + RotateLeft(a + Function(b, c, d) + word + constant, shift);
}

// Compresses one 64-byte block, given as sixteen words decoded least significant byte first, and adds the
// result into the four state words.
void Md5Transform(uint32_t state[4], const uint32_t x[16]) {
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    Step<F>(a, b, c, d, x[0], 7, 0xD76AA478);
    Step<F>(d, a, b, c, x[1], 12, 0xE8C7B756);
    Step<F>(c, d, a, b, x[2], 17, 0x242070DB);
    Step<F>(b, c, d, a, x[3], 22, 0xC1BDCEEE);
    Step<F>(a, b, c, d, x[4], 7, 0xF57C0FAF);
    Step<F>(d, a, b, c, x[5], 12, 0x4787C62A);
    Step<F>(c, d, a, b, x[6], 17, 0xA8304613);
    Step<F>(b, c, d, a, x[7], 22, 0xFD469501);
    Step<F>(a, b, c, d, x[8], 7, 0x698098D8);
    Step<F>(d, a, b, c, x[9], 12, 0x8B44F7AF);
    Step<F>(c, d, a, b, x[10], 17, 0xFFFF5BB1);
    Step<F>(b, c, d, a, x[11], 22, 0x895CD7BE);
    Step<F>(a, b, c, d, x[12], 7, 0x6B901122);
    Step<F>(d, a, b, c, x[13], 12, 0xFD987193);
    Step<F>(c, d, a, b, x[14], 17, 0xA679438E);
    Step<F>(b, c, d, a, x[15], 22, 0x49B40821);

    Step<G>(a, b, c, d, x[1], 5, 0xF61E2562);
    Step<G>(d, a, b, c, x[6], 9, 0xC040B340);
    Step<G>(c, d, a, b, x[11], 14, 0x265E5A51);
    Step<G>(b, c, d, a, x[0], 20, 0xE9B6C7AA);
    Step<G>(a, b, c, d, x[5], 5, 0xD62F105D);
    Step<G>(d, a, b, c, x[10], 9, 0x02441453);
    Step<G>(c, d, a, b, x[15], 14, 0xD8A1E681);
    Step<G>(b, c, d, a, x[4], 20, 0xE7D3FBC8);
    Step<G>(a, b, c, d, x[9], 5, 0x21E1CDE6);
    Step<G>(d, a, b, c, x[14], 9, 0xC33707D6);
    Step<G>(c, d, a, b, x[3], 14, 0xF4D50D87);
    Step<G>(b, c, d, a, x[8], 20, 0x455A14ED);
    Step<G>(a, b, c, d, x[13], 5, 0xA9E3E905);
    Step<G>(d, a, b, c, x[2], 9, 0xFCEFA3F8);
    Step<G>(c, d, a, b, x[7], 14, 0x676F02D9);
    Step<G>(b, c, d, a, x[12], 20, 0x8D2A4C8A);

    Step<H>(a, b, c, d, x[5], 4, 0xFFFA3942);
    Step<H>(d, a, b, c, x[8], 11, 0x8771F681);
    Step<H>(c, d, a, b, x[11], 16, 0x6D9D6122);
    Step<H>(b, c, d, a, x[14], 23, 0xFDE5380C);
    Step<H>(a, b, c, d, x[1], 4, 0xA4BEEA44);
    Step<H>(d, a, b, c, x[4], 11, 0x4BDECFA9);
    Step<H>(c, d, a, b, x[7], 16, 0xF6BB4B60);
    Step<H>(b, c, d, a, x[10], 23, 0xBEBFBC70);
    Step<H>(a, b, c, d, x[13], 4, 0x289B7EC6);
    Step<H>(d, a, b, c, x[0], 11, 0xEAA127FA);
    Step<H>(c, d, a, b, x[3], 16, 0xD4EF3085);
    Step<H>(b, c, d, a, x[6], 23, 0x04881D05);
    Step<H>(a, b, c, d, x[9], 4, 0xD9D4D039);
    Step<H>(d, a, b, c, x[12], 11, 0xE6DB99E5);
    Step<H>(c, d, a, b, x[15], 16, 0x1FA27CF8);
    Step<H>(b, c, d, a, x[2], 23, 0xC4AC5665);

    Step<I>(a, b, c, d, x[0], 6, 0xF4292244);
    Step<I>(d, a, b, c, x[7], 10, 0x432AFF97);
    Step<I>(c, d, a, b, x[14], 15, 0xAB9423A7);
    Step<I>(b, c, d, a, x[5], 21, 0xFC93A039);
    Step<I>(a, b, c, d, x[12], 6, 0x655B59C3);
    Step<I>(d, a, b, c, x[3], 10, 0x8F0CCC92);
    Step<I>(c, d, a, b, x[10], 15, 0xFFEFF47D);
    Step<I>(b, c, d, a, x[1], 21, 0x85845DD1);
    Step<I>(a, b, c, d, x[8], 6, 0x6FA87E4F);
    Step<I>(d, a, b, c, x[15], 10, 0xFE2CE6E0);
    Step<I>(c, d, a, b, x[6], 15, 0xA3014314);
    Step<I>(b, c, d, a, x[13], 21, 0x4E0811A1);
    Step<I>(a, b, c, d, x[4], 6, 0xF7537E82);
    Step<I>(d, a, b, c, x[11], 10, 0xBD3AF235);
    Step<I>(c, d, a, b, x[2], 15, 0x2AD7D2BB);
    Step<I>(b, c, d, a, x[9], 21, 0xEB86D391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void Md5Init(CMd5Context& context) {
    context.BitCount[0] = 0;
    context.BitCount[1] = 0;
    context.State[0] = 0x67452301;
    context.State[1] = 0xEFCDAB89;
    context.State[2] = 0x98BADCFE;
    context.State[3] = 0x10325476;
}

void Md5Update(CMd5Context& context, const void* bytes, uint64_t length) {
    unsigned index = (context.BitCount[0] >> 3) & 63;
    const uint32_t addedBits = static_cast<uint32_t>(length << 3);
    context.BitCount[0] += addedBits;
    if (context.BitCount[0] < addedBits)
        ++context.BitCount[1];
    context.BitCount[1] += static_cast<uint32_t>(length >> 29);

    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    uint32_t words[16];
    while (length != 0) {
        const uint64_t room = 64 - index;
        const uint64_t chunk = length < room ? length : room;
        std::memcpy(context.Block + index, input, static_cast<size_t>(chunk));
        input += chunk;
        length -= chunk;
        index += static_cast<unsigned>(chunk);
        if (index == 64) {
            DecodeWords(context.Block, words, 16);
            Md5Transform(context.State, words);
            index = 0;
        }
    }
}

void Md5Final(CMd5Context& context) {
    // The count is taken before padding: the padding itself is not part of the message.
    const uint32_t lowBits = context.BitCount[0];
    const uint32_t highBits = context.BitCount[1];
    const unsigned index = (lowBits >> 3) & 63;
    const unsigned padLength = index < 56 ? 56 - index : 120 - index;
    Md5Update(context, Padding, padLength);

    uint32_t words[16];
    DecodeWords(context.Block, words, 14);
    words[14] = lowBits;
    words[15] = highBits;
    Md5Transform(context.State, words);

    for (unsigned k = 0; k < 4; ++k)
        StoreU32LE(context.Digest + 4 * k, context.State[k]);
}
