// Decoded image files: pixels in memory, their upload format and, for compressed files, mipmap levels.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/rendering/PixelFormat.h"

namespace kite {

class Image : public Ref {
public:
    // The detected kind of a file, in the order of the file-type codes.
    enum class Format {
        JPG = 0,
        PNG = 1,
        TIFF = 2,
        WEBP = 3,
        PVR = 4,
        ETC = 5,
        S3TC = 6,
        ATITC = 7,
        TGA = 8,
        RAW_DATA = 9,
        UNKNOWN = 10,
    };

    static constexpr int MIPMAP_MAX = 16;

    // PVR files carry premultiplied alpha (class-wide; false until set).
    static void setPVRImagesHavePremultipliedAlpha(bool haveAlphaPremultiplied);

    Image();
    ~Image() override;

    bool initWithImageFile(const std::string& path);
    bool initWithImageFileThreadSafe(const std::string& fullpath);
    bool initWithImageData(const unsigned char* data, std::int64_t dataLen);
    bool initWithRawData(const unsigned char* data, std::int64_t dataLen, int width, int height, int bitsPerComponent,
                         bool preMulti = false);

    unsigned char* getData() const { return _data; }
    std::int64_t getDataLen() const { return _dataLen; }
    Format getFileType() const { return _fileType; }
    PixelFormat getRenderFormat() const { return _renderFormat; }
    int getWidth() const { return _width; }
    int getHeight() const { return _height; }
    const MipmapInfo* getMipmaps() const { return _mipmaps; }
    int getNumberOfMipmaps() const { return _numberOfMipmaps; }
    bool hasPremultipliedAlpha() const { return _hasPremultipliedAlpha; }
    const std::string& getFilePath() const { return _filePath; }
    bool isCompressed() const;

    // Detection by the first bytes, as initWithImageData does it.
    static Format detectFormat(const unsigned char* data, std::int64_t dataLen);

    static bool isPng(const unsigned char* data, std::int64_t dataLen);
    static bool isJpg(const unsigned char* data, std::int64_t dataLen);
    static bool isTiff(const unsigned char* data, std::int64_t dataLen);
    static bool isWebp(const unsigned char* data, std::int64_t dataLen);
    static bool isPvr(const unsigned char* data, std::int64_t dataLen);
    static bool isEtc(const unsigned char* data, std::int64_t dataLen);
    static bool isS3TC(const unsigned char* data, std::int64_t dataLen);
    static bool isATITC(const unsigned char* data, std::int64_t dataLen);

    bool initWithJpgData(const unsigned char* data, std::int64_t dataLen);
    bool initWithPngData(const unsigned char* data, std::int64_t dataLen);
    bool initWithTiffData(const unsigned char* data, std::int64_t dataLen);
    bool initWithWebpData(const unsigned char* data, std::int64_t dataLen);
    bool initWithPVRData(const unsigned char* data, std::int64_t dataLen);
    bool initWithPVRv2Data(const unsigned char* data, std::int64_t dataLen);
    bool initWithPVRv3Data(const unsigned char* data, std::int64_t dataLen);
    bool initWithETCData(const unsigned char* data, std::int64_t dataLen);
    bool initWithS3TCData(const unsigned char* data, std::int64_t dataLen);
    bool initWithATITCData(const unsigned char* data, std::int64_t dataLen);
    bool initWithTGAData(struct tImageTGA* tgaData);

    // A block-compressed payload (4 x 4 blocks): its size, its levels and how one level is decoded.
    struct BlockPayload {
        const char* kind = "";  // "DDS", "KTX": names the file kind in log lines
        std::uint32_t width = 0, height = 0;
        std::uint32_t mipmapCount = 0;  // 0 counts as 1
        std::int64_t blockBytes = 8;    // bytes of one block
        std::int64_t levelGap = 0;      // bytes between one level's end and the next one's start
        const unsigned char* blocks = nullptr;
        std::int64_t size = 0;  // bytes from blocks to the end of the file
        bool gpuSamples = false;
        PixelFormat compressedFormat = PixelFormat::NONE;
        // Decodes a level of w x h pixels to RGBA8888.
        std::function<void(const unsigned char* blocks, unsigned char* rgba, int w, int h)> decode;
    };

private:
    bool decodeFile(const std::string& fullpath);
    bool addMipmap(unsigned char* address, std::int64_t length);
    // Takes a copy of the bytes as the image's data.
    bool copyData(const unsigned char* bytes, std::int64_t length);
    // The levels of a block-compressed payload: kept as they are when the GPU samples the
    // format and textures can be made of it, else each decoded to RGBA8888 into one buffer.
    bool initWithBlockLevels(const BlockPayload& payload);
    // How the levels of a PVR file are laid out, and whether they are decoded here.
    struct PVRLevelLayout {
        enum class Decode { None, PVRTC2, PVRTC4, ETC };
        int blockWidth, blockHeight, bpp;
        Decode decode;
        bool etc = false;  // ETC1 levels cover their size rounded up to whole blocks
    };
    // Records the levels of the PVR data at _data (end bytes; at most levelCount of them,
    // or fewer when untilEnd and the data ends first), decoding them when the layout says so.
    // A file without any level is refused.
    bool addPVRLevels(const PVRLevelLayout& layout, std::int64_t end, std::uint32_t levelCount, bool untilEnd);
    static std::int64_t pvrLevelBytes(const PVRLevelLayout& layout, int width, int height);
    void freeData();

    unsigned char* _data = nullptr;
    std::int64_t _dataLen = 0;
    int _width = 0;
    int _height = 0;
    // True when every mipmap level was decoded into a buffer of its own.
    bool _unpack = false;
    Format _fileType = Format::UNKNOWN;
    PixelFormat _renderFormat = PixelFormat::NONE;
    MipmapInfo _mipmaps[MIPMAP_MAX];
    int _numberOfMipmaps = 0;
    bool _hasPremultipliedAlpha = true;
    std::string _filePath;
};

// The format a file's pixel format is delivered in on this GPU (as the configuration reports
// it): ETC becomes RGB888 and the PVRTC formats RGBA8888 when the GPU cannot sample them.
PixelFormat getDevicePixelFormat(PixelFormat format);

}  // namespace kite
