#ifndef KVDDES2_H
#define KVDDES2_H

#include <QRandomGenerator>

#include <cstdint>
#include <cstring>

// A self-contained DES engine: single DES or multi-pass (EDE) DES over a whole
// buffer, optionally CBC-chained behind a random leading block and PKCS #5
// padded. Bit numbering follows the DES standard: bit 1 is the most
// significant bit of the first byte.
//
// The class is a template only so that its constant tables can live here as
// static members without a separate source file; it is used as KvdDESImpl<0>.
template <int Variant> class KvdDESImpl
{
public:
    static constexpr unsigned long BlockSize = 8;

    // Keys are 8 bytes each; their parity bits are ignored by the key schedule.
    KvdDESImpl(const unsigned char* firstKey, const unsigned char* secondKey)
    {
        std::memcpy(m_firstKey, firstKey, BlockSize);
        std::memcpy(m_secondKey, secondKey, BlockSize);
        m_output = new unsigned char[1];
        m_output[0] = 0;
    }
    virtual ~KvdDESImpl() { delete[] m_output; }

    KvdDESImpl(const KvdDESImpl&) = delete;
    KvdDESImpl& operator=(const KvdDESImpl&) = delete;

    void setMayReallocate(bool on) { m_mayReallocate = on; }
    void setPadding(bool on) { m_pad = on; }
    void setChaining(bool on) { m_chain = on; }
    void setPasses(int passes) { m_passes = passes; }

    // The result of the last KvdDoDES; the buffer always holds a 0 byte right
    // after the result.
    const unsigned char* output() const { return m_output; }
    unsigned long outputLength() const { return m_outputLength; }
    unsigned long outputCapacity() const { return m_outputCapacity; }

    // Runs the configured passes over the whole input. Encryption writes the
    // leading block (when chaining) and then the enciphered blocks; decryption
    // expects that same layout. Without padding, encryption needs whole blocks.
    bool KvdDoDES(const unsigned char* lpIn, unsigned long cbIn, bool encrypt)
    {
        if (!lpIn || cbIn == 0 || m_passes < 1)
            return false;
        const unsigned long lead = m_chain ? BlockSize : 0;
        unsigned long length = 0;
        if (encrypt) {
            if (!m_pad && cbIn % BlockSize != 0)
                return false;
            length = lead + (m_pad ? (cbIn / BlockSize + 1) * BlockSize : cbIn);
        } else {
            if (cbIn < lead + BlockSize)
                return false;
            length = (cbIn - lead) / BlockSize * BlockSize;
        }
        if (!ensureCapacity(length))
            return false;

        unsigned char subKeys[2][16][6];
        KvdCreateSubKeys(m_firstKey, subKeys[0]);
        if (m_passes >= 2)
            KvdCreateSubKeys(m_secondKey, subKeys[1]);

        if (encrypt)
            encryptAll(lpIn, cbIn, subKeys);
        else
            decryptAll(lpIn, length, subKeys);
        std::memset(subKeys, 0, sizeof subKeys);
        if (!encrypt)
            length = removePad(length);
        m_outputLength = length;
        m_output[length] = 0;
        return true;
    }

    // The DES key schedule: PC-1, the left shifts of the two halves, PC-2.
    static void KvdCreateSubKeys(const unsigned char* key, unsigned char (*subKeys)[6])
    {
        const uint64_t cd = permute(load64(key), 64, PC1, 56);
        uint32_t c = uint32_t(cd >> 28) & 0x0fffffff;
        uint32_t d = uint32_t(cd) & 0x0fffffff;
        for (int round = 0; round < 16; ++round) {
            for (int s = 0; s < Shifts[round]; ++s) {
                c = ((c << 1) | (c >> 27)) & 0x0fffffff;
                d = ((d << 1) | (d >> 27)) & 0x0fffffff;
            }
            const uint64_t k = permute((uint64_t(c) << 28) | d, 56, PC2, 48);
            for (int i = 0; i < 6; ++i)
                subKeys[round][i] = static_cast<unsigned char>(k >> (40 - 8 * i));
        }
    }

    // One DES operation on one block; direction non-zero enciphers (sub-keys
    // in order), 0 deciphers (sub-keys in reverse). The input is left alone,
    // and may be the same buffer as the output.
    static void KvdEncode64Bits(const unsigned char* in, unsigned char* out,
                                const unsigned char (*subKeys)[6], int direction)
    {
        const uint64_t permuted = permute(load64(in), 64, IP, 64);
        uint32_t left = uint32_t(permuted >> 32);
        uint32_t right = uint32_t(permuted);
        for (int round = 0; round < 16; ++round) {
            const int k = direction ? round : 15 - round;
            unsigned char half[4];
            unsigned char mixed[4];
            store32(right, half);
            KvdMapThroughSBox(half, subKeys[k], mixed);
            const uint32_t next = left ^ load32(mixed);
            left = right;
            right = next;
        }
        const uint64_t swapped = (uint64_t(right) << 32) | left;
        store64(permute(swapped, 64, IPInverse, 64), out);
    }

    // The round function: E, XOR with the sub-key, S1 to S8, P.
    static void KvdMapThroughSBox(const unsigned char* half, const unsigned char* subKey,
                                  unsigned char* out)
    {
        uint64_t key = 0;
        for (int i = 0; i < 6; ++i)
            key = (key << 8) | subKey[i];
        const uint64_t x = permute(load32(half), 32, E, 48) ^ key;
        uint32_t substituted = 0;
        for (int box = 0; box < 8; ++box) {
            const unsigned six = unsigned(x >> (42 - 6 * box)) & 0x3f;
            const unsigned row = ((six >> 4) & 0x2) | (six & 0x1);
            const unsigned column = (six >> 1) & 0xf;
            substituted = (substituted << 4) | SBoxes[box][row * 16 + column];
        }
        store32(uint32_t(permute(substituted, 32, P, 32)), out);
    }

private:
    unsigned char m_firstKey[BlockSize];
    unsigned char m_secondKey[BlockSize];
    unsigned char* m_output = nullptr;
    unsigned long m_outputCapacity = 0;
    unsigned long m_outputLength = 0;
    bool m_mayReallocate = true;
    bool m_pad = true;
    bool m_chain = true;
    int m_passes = 3;

    bool ensureCapacity(unsigned long capacity)
    {
        if (capacity <= m_outputCapacity)
            return true;
        if (!m_mayReallocate)
            return false;
        unsigned char* grown = new unsigned char[capacity + 1];
        std::memset(grown, 0, capacity + 1);
        delete[] m_output;
        m_output = grown;
        m_outputCapacity = capacity;
        return true;
    }

    // Pass k uses the first key for even k and the second for odd k, the
    // direction alternating from the first pass's.
    void runPass(int pass, bool encryptFirst, const unsigned char* in, unsigned char* out,
                 const unsigned char (*subKeys)[16][6]) const
    {
        const bool even = pass % 2 == 0;
        KvdEncode64Bits(in, out, subKeys[even ? 0 : 1], even == encryptFirst ? 1 : 0);
    }

    void runPasses(bool encryptFirst, const unsigned char* in, unsigned char* out,
                   const unsigned char (*subKeys)[16][6]) const
    {
        unsigned char block[BlockSize];
        std::memcpy(block, in, BlockSize);
        for (int pass = 0; pass < m_passes; ++pass)
            runPass(pass, encryptFirst, block, block, subKeys);
        std::memcpy(out, block, BlockSize);
    }

    void encryptAll(const unsigned char* in, unsigned long count,
                    const unsigned char (*subKeys)[16][6])
    {
        unsigned char* out = m_output;
        unsigned char previous[BlockSize] = {};
        if (m_chain) {
            // The leading block only has to be unpredictable; it is the last
            // pass applied to random bytes.
            quint32 random[2];
            QRandomGenerator::global()->fillRange(random);
            unsigned char seed[BlockSize];
            std::memcpy(seed, random, BlockSize);
            runPass(m_passes - 1, true, seed, out, subKeys);
            std::memcpy(previous, out, BlockSize);
            out += BlockSize;
        }
        const unsigned long blocks = m_pad ? count / BlockSize + 1 : count / BlockSize;
        for (unsigned long b = 0; b < blocks; ++b) {
            unsigned char block[BlockSize];
            const unsigned long offset = b * BlockSize;
            const unsigned long available = offset < count ? count - offset : 0;
            const unsigned long taken = available < BlockSize ? available : BlockSize;
            if (taken > 0)
                std::memcpy(block, in + offset, taken);
            std::memset(block + taken, int(BlockSize - taken), BlockSize - taken);
            if (m_chain) {
                for (unsigned long i = 0; i < BlockSize; ++i)
                    block[i] ^= previous[i];
            }
            runPasses(true, block, out, subKeys);
            std::memcpy(previous, out, BlockSize);
            out += BlockSize;
        }
    }

    void decryptAll(const unsigned char* in, unsigned long length,
                    const unsigned char (*subKeys)[16][6])
    {
        const unsigned char* previous = in;
        const unsigned char* cipher = m_chain ? in + BlockSize : in;
        for (unsigned long offset = 0; offset < length; offset += BlockSize) {
            unsigned char* out = m_output + offset;
            runPasses(false, cipher + offset, out, subKeys);
            if (m_chain) {
                for (unsigned long i = 0; i < BlockSize; ++i)
                    out[i] ^= previous[i];
                previous = cipher + offset;
            }
        }
    }

    // Drops a valid PKCS #5 pad; anything else is kept as it is.
    unsigned long removePad(unsigned long length)
    {
        if (!m_pad || length == 0)
            return length;
        const unsigned char p = m_output[length - 1];
        if (p < 1 || p > BlockSize || p > length)
            return length;
        for (unsigned long i = length - p; i < length; ++i) {
            if (m_output[i] != p)
                return length;
        }
        std::memset(m_output + length - p, 0, p);
        return length - p;
    }

    static uint64_t load64(const unsigned char* bytes)
    {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = (value << 8) | bytes[i];
        return value;
    }
    static void store64(uint64_t value, unsigned char* bytes)
    {
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<unsigned char>(value >> (56 - 8 * i));
    }
    static uint32_t load32(const unsigned char* bytes)
    {
        return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
               uint32_t(bytes[3]);
    }
    static void store32(uint32_t value, unsigned char* bytes)
    {
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }

    // Output bit i (from 1, most significant first) is input bit table[i - 1]
    // of an inputWidth-bit value, numbered the same way.
    static uint64_t permute(uint64_t in, int inputWidth, const unsigned char* table,
                            int outputWidth)
    {
        uint64_t out = 0;
        for (int i = 0; i < outputWidth; ++i)
            out = (out << 1) | ((in >> (inputWidth - table[i])) & 1);
        return out;
    }

    // The standard's tables, laid out as it prints them.
    // clang-format off
    static constexpr unsigned char IP[64] = {
        58, 50, 42, 34, 26, 18, 10,  2,
        60, 52, 44, 36, 28, 20, 12,  4,
        62, 54, 46, 38, 30, 22, 14,  6,
        64, 56, 48, 40, 32, 24, 16,  8,
        57, 49, 41, 33, 25, 17,  9,  1,
        59, 51, 43, 35, 27, 19, 11,  3,
        61, 53, 45, 37, 29, 21, 13,  5,
        63, 55, 47, 39, 31, 23, 15,  7};

    static constexpr unsigned char IPInverse[64] = {
        40,  8, 48, 16, 56, 24, 64, 32,
        39,  7, 47, 15, 55, 23, 63, 31,
        38,  6, 46, 14, 54, 22, 62, 30,
        37,  5, 45, 13, 53, 21, 61, 29,
        36,  4, 44, 12, 52, 20, 60, 28,
        35,  3, 43, 11, 51, 19, 59, 27,
        34,  2, 42, 10, 50, 18, 58, 26,
        33,  1, 41,  9, 49, 17, 57, 25};

    static constexpr unsigned char E[48] = {
        32,  1,  2,  3,  4,  5,
         4,  5,  6,  7,  8,  9,
         8,  9, 10, 11, 12, 13,
        12, 13, 14, 15, 16, 17,
        16, 17, 18, 19, 20, 21,
        20, 21, 22, 23, 24, 25,
        24, 25, 26, 27, 28, 29,
        28, 29, 30, 31, 32,  1};

    static constexpr unsigned char P[32] = {
        16,  7, 20, 21,
        29, 12, 28, 17,
         1, 15, 23, 26,
         5, 18, 31, 10,
         2,  8, 24, 14,
        32, 27,  3,  9,
        19, 13, 30,  6,
        22, 11,  4, 25};

    static constexpr unsigned char PC1[56] = {
        57, 49, 41, 33, 25, 17,  9,
         1, 58, 50, 42, 34, 26, 18,
        10,  2, 59, 51, 43, 35, 27,
        19, 11,  3, 60, 52, 44, 36,
        63, 55, 47, 39, 31, 23, 15,
         7, 62, 54, 46, 38, 30, 22,
        14,  6, 61, 53, 45, 37, 29,
        21, 13,  5, 28, 20, 12,  4};

    static constexpr unsigned char PC2[48] = {
        14, 17, 11, 24,  1,  5,
         3, 28, 15,  6, 21, 10,
        23, 19, 12,  4, 26,  8,
        16,  7, 27, 20, 13,  2,
        41, 52, 31, 37, 47, 55,
        30, 40, 51, 45, 33, 48,
        44, 49, 39, 56, 34, 53,
        46, 42, 50, 36, 29, 32};

    static constexpr unsigned char Shifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

    static constexpr unsigned char SBoxes[8][64] = {
        {14,  4, 13,  1,  2, 15, 11,  8,  3, 10,  6, 12,  5,  9,  0,  7,
          0, 15,  7,  4, 14,  2, 13,  1, 10,  6, 12, 11,  9,  5,  3,  8,
          4,  1, 14,  8, 13,  6,  2, 11, 15, 12,  9,  7,  3, 10,  5,  0,
         15, 12,  8,  2,  4,  9,  1,  7,  5, 11,  3, 14, 10,  0,  6, 13},
        {15,  1,  8, 14,  6, 11,  3,  4,  9,  7,  2, 13, 12,  0,  5, 10,
          3, 13,  4,  7, 15,  2,  8, 14, 12,  0,  1, 10,  6,  9, 11,  5,
          0, 14,  7, 11, 10,  4, 13,  1,  5,  8, 12,  6,  9,  3,  2, 15,
         13,  8, 10,  1,  3, 15,  4,  2, 11,  6,  7, 12,  0,  5, 14,  9},
        {10,  0,  9, 14,  6,  3, 15,  5,  1, 13, 12,  7, 11,  4,  2,  8,
         13,  7,  0,  9,  3,  4,  6, 10,  2,  8,  5, 14, 12, 11, 15,  1,
         13,  6,  4,  9,  8, 15,  3,  0, 11,  1,  2, 12,  5, 10, 14,  7,
          1, 10, 13,  0,  6,  9,  8,  7,  4, 15, 14,  3, 11,  5,  2, 12},
        { 7, 13, 14,  3,  0,  6,  9, 10,  1,  2,  8,  5, 11, 12,  4, 15,
         13,  8, 11,  5,  6, 15,  0,  3,  4,  7,  2, 12,  1, 10, 14,  9,
         10,  6,  9,  0, 12, 11,  7, 13, 15,  1,  3, 14,  5,  2,  8,  4,
          3, 15,  0,  6, 10,  1, 13,  8,  9,  4,  5, 11, 12,  7,  2, 14},
        { 2, 12,  4,  1,  7, 10, 11,  6,  8,  5,  3, 15, 13,  0, 14,  9,
         14, 11,  2, 12,  4,  7, 13,  1,  5,  0, 15, 10,  3,  9,  8,  6,
          4,  2,  1, 11, 10, 13,  7,  8, 15,  9, 12,  5,  6,  3,  0, 14,
         11,  8, 12,  7,  1, 14,  2, 13,  6, 15,  0,  9, 10,  4,  5,  3},
        {12,  1, 10, 15,  9,  2,  6,  8,  0, 13,  3,  4, 14,  7,  5, 11,
         10, 15,  4,  2,  7, 12,  9,  5,  6,  1, 13, 14,  0, 11,  3,  8,
          9, 14, 15,  5,  2,  8, 12,  3,  7,  0,  4, 10,  1, 13, 11,  6,
          4,  3,  2, 12,  9,  5, 15, 10, 11, 14,  1,  7,  6,  0,  8, 13},
        { 4, 11,  2, 14, 15,  0,  8, 13,  3, 12,  9,  7,  5, 10,  6,  1,
         13,  0, 11,  7,  4,  9,  1, 10, 14,  3,  5, 12,  2, 15,  8,  6,
          1,  4, 11, 13, 12,  3,  7, 14, 10, 15,  6,  8,  0,  5,  9,  2,
          6, 11, 13,  8,  1,  4, 10,  7,  9,  5,  0, 15, 14,  2,  3, 12},
        {13,  2,  8,  4,  6, 15, 11,  1, 10,  9,  3, 14,  5,  0, 12,  7,
          1, 15, 13,  8, 10,  3,  7,  4, 12,  5,  6, 11,  0, 14,  9,  2,
          7, 11,  4,  1,  9, 12, 14,  2,  0,  6, 10, 13, 15,  3,  5,  8,
          2,  1, 14,  7,  4, 10,  8, 13, 15, 12,  9,  0,  3,  5,  6, 11}};
    // clang-format on
};

#endif // KVDDES2_H
