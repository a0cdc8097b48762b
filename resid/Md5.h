// The MD5 message digest, computed the same on every host byte order.
#pragma once

#include <cstdint>

/// The running state of one MD5 digest. A plain value that lives on the caller's stack and owns nothing.
/// Use: Md5Init, any number of Md5Update calls, Md5Final, then read Digest.
struct CMd5Context {
    /// Message bits taken in so far, low word first.
    uint32_t BitCount[2];
    /// The chaining values A, B, C, D.
    uint32_t State[4];
    /// The input block being filled.
    uint8_t Block[64];
    /// The result, valid after Md5Final: A, B, C, D, each least significant byte first.
    uint8_t Digest[16];
};

/// Starts a new digest: no bits taken in, the four initial chaining values.
void Md5Init(CMd5Context& context);

/// Takes length more message bytes; the bytes need no particular alignment. Any number of calls give the
/// digest of the bytes of all of them in order.
void Md5Update(CMd5Context& context, const void* bytes, uint64_t length);

/// Pads the message, takes in its bit count and fills Digest. The context must be started again with
/// Md5Init before it takes more bytes.
void Md5Final(CMd5Context& context);
