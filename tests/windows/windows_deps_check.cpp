// The Windows build of the tool's libraries, run under Wine: writes a TIFF
// (libtiff, deflate through zlib), a PNG (libpng) and a DICOM secondary
// capture (DCMTK with its built-in dictionary), reads each back and compares;
// renders the DICOM through a window (dcmimgle) and opens DCMTK's network
// layer (dcmnet, Winsock). Prints the failures and exits 1 on any.
#include <tiffio.h>
#include <png.h>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dctk.h"
#include "dcmtk/dcmimgle/dcmimage.h"
#include "dcmtk/dcmnet/assoc.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr std::uint16_t kMaxValue = 16383;

int failures = 0;

void Expect(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// A ramp over the 14-bit range, different in every row and column.
std::vector<std::uint16_t> TestImage() {
  std::vector<std::uint16_t> pixels(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      pixels[y * kWidth + x] = static_cast<std::uint16_t>((x * 251 + y * 97) % (kMaxValue + 1));
    }
  }
  return pixels;
}

void WriteTiff(const std::string& path, const std::vector<std::uint16_t>& pixels) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  Expect(tiff != nullptr, "TIFFOpen for writing " + path);
  if (!tiff) return;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kHeight);
  std::vector<std::uint16_t> row(kWidth);
  for (int y = 0; y < kHeight; ++y) {
    std::memcpy(row.data(), &pixels[y * kWidth], kWidth * sizeof(std::uint16_t));
    Expect(TIFFWriteScanline(tiff, row.data(), y, 0) == 1, "TIFFWriteScanline");
  }
  TIFFClose(tiff);
}

std::vector<std::uint16_t> ReadTiff(const std::string& path) {
  std::vector<std::uint16_t> pixels;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  Expect(tiff != nullptr, "TIFFOpen for reading " + path);
  if (!tiff) return pixels;
  std::uint32_t width = 0, height = 0;
  std::uint16_t compression = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  Expect(width == kWidth && height == kHeight, "TIFF dimensions");
  Expect(compression == COMPRESSION_ADOBE_DEFLATE, "TIFF keeps its deflate compression");
  if (width == kWidth && height == kHeight) {
    pixels.resize(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      Expect(TIFFReadScanline(tiff, &pixels[y * kWidth], y, 0) == 1, "TIFFReadScanline");
    }
  }
  TIFFClose(tiff);
  return pixels;
}

// libpng reports errors by longjmp; every call below sits behind setjmp.
void WritePng(const std::string& path, const std::vector<std::uint16_t>& pixels) {
  FILE* file = std::fopen(path.c_str(), "wb");
  Expect(file != nullptr, "fopen for writing " + path);
  if (!file) return;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(kWidth * 2);
  if (setjmp(png_jmpbuf(png))) {
    Expect(false, "libpng failed writing " + path);
  } else {
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {  // PNG samples are big-endian
        row[2 * x] = static_cast<png_byte>(pixels[y * kWidth + x] >> 8);
        row[2 * x + 1] = static_cast<png_byte>(pixels[y * kWidth + x] & 0xFF);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

std::vector<std::uint16_t> ReadPng(const std::string& path) {
  std::vector<std::uint16_t> pixels;
  FILE* file = std::fopen(path.c_str(), "rb");
  Expect(file != nullptr, "fopen for reading " + path);
  if (!file) return pixels;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(kWidth * 2);
  if (setjmp(png_jmpbuf(png))) {
    Expect(false, "libpng failed reading " + path);
    pixels.clear();
  } else {
    png_init_io(png, file);
    png_read_info(png, info);
    const bool shape = png_get_image_width(png, info) == kWidth && png_get_image_height(png, info) == kHeight &&
                       png_get_bit_depth(png, info) == 16 && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY;
    Expect(shape, "PNG is 16-bit grey of the written size");
    if (shape) {
      pixels.resize(kWidth * kHeight);
      for (int y = 0; y < kHeight; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (int x = 0; x < kWidth; ++x) {
          pixels[y * kWidth + x] = static_cast<std::uint16_t>(row[2 * x] << 8 | row[2 * x + 1]);
        }
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return pixels;
}

// Decimal strings as the Linux build writes them: fixed notation through
// DCMTK, and an exponent through DCMTK's own formatting (never the C
// runtime's, whose three-digit exponents would overflow the 16 characters).
constexpr double kSpacing = 0.139;
constexpr double kTinyValue = 1.25e-5;
const char* const kSpacingText = "0.139\\0.139";
const char* const kTinyText = "1.25e-05";

void Put(DcmDataset& data, const DcmTagKey& tag, const char* value) {
  Expect(data.putAndInsertString(tag, value).good(), std::string("put ") + DcmTag(tag).getTagName());
}

void WriteDicom(const std::string& path, const std::vector<std::uint16_t>& pixels) {
  char uid[100];
  DcmFileFormat file;
  DcmDataset& data = *file.getDataset();
  Put(data, DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  Put(data, DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  Put(data, DCM_StudyInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT));
  Put(data, DCM_SeriesInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
  Put(data, DCM_SpecificCharacterSet, "ISO_IR 100");
  Put(data, DCM_PatientName, "M\xFCller^J\xF6rg");
  Put(data, DCM_PatientID, "WINE-0001");
  Put(data, DCM_PatientBirthDate, "19700101");
  Put(data, DCM_PatientSex, "O");
  Put(data, DCM_StudyDate, "20240102");
  Put(data, DCM_StudyTime, "030405");
  Put(data, DCM_ReferringPhysicianName, "");
  Put(data, DCM_StudyID, "1");
  Put(data, DCM_AccessionNumber, "");
  Put(data, DCM_Modality, "OT");
  Put(data, DCM_SeriesNumber, "1");
  Put(data, DCM_Laterality, "");
  Put(data, DCM_InstanceNumber, "1");
  Put(data, DCM_PatientOrientation, "");
  Put(data, DCM_ConversionType, "WSD");
  Put(data, DCM_PhotometricInterpretation, "MONOCHROME2");
  Expect(data.putAndInsertUint16(DCM_SamplesPerPixel, 1).good(), "put SamplesPerPixel");
  Expect(data.putAndInsertUint16(DCM_Rows, kHeight).good(), "put Rows");
  Expect(data.putAndInsertUint16(DCM_Columns, kWidth).good(), "put Columns");
  Expect(data.putAndInsertUint16(DCM_BitsAllocated, 16).good(), "put BitsAllocated");
  Expect(data.putAndInsertUint16(DCM_BitsStored, 14).good(), "put BitsStored");
  Expect(data.putAndInsertUint16(DCM_HighBit, 13).good(), "put HighBit");
  Expect(data.putAndInsertUint16(DCM_PixelRepresentation, 0).good(), "put PixelRepresentation");
  Expect(data.putAndInsertUint16Array(DCM_PixelData, pixels.data(), pixels.size()).good(), "put PixelData");

  // Nominal Scanned Pixel Spacing (DS, 2 values) through DCMTK's DS writer.
  auto* spacing = new DcmDecimalString(DCM_NominalScannedPixelSpacing);
  Expect(spacing->putFloat64(kSpacing, 0).good() && spacing->putFloat64(kSpacing, 1).good(), "putFloat64");
  Expect(data.insert(spacing, true).good(), "insert NominalScannedPixelSpacing");
  // A window of the full range, and a tiny value in exponent form.
  Put(data, DCM_WindowCenter, "8192");
  Put(data, DCM_WindowWidth, "16384");
  char tiny[32];
  OFStandard::ftoa(tiny, sizeof tiny, kTinyValue, OFStandard::ftoa_format_e, 0, 2);
  Expect(std::strcmp(tiny, kTinyText) == 0, std::string("ftoa wrote ") + tiny + ", expected " + kTinyText);
  Put(data, DCM_PatientSize, tiny);  // any DS of the secondary capture would do

  const OFCondition saved = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
  Expect(saved.good(), std::string("saveFile: ") + saved.text());
}

void CheckDicom(const std::string& path, const std::vector<std::uint16_t>& pixels) {
  DcmFileFormat file;
  const OFCondition loaded = file.loadFile(path.c_str());
  Expect(loaded.good(), std::string("loadFile: ") + loaded.text());
  if (loaded.bad()) return;
  DcmDataset& data = *file.getDataset();

  OFString text;
  data.findAndGetOFStringArray(DCM_NominalScannedPixelSpacing, text);
  Expect(text == kSpacingText, "NominalScannedPixelSpacing reads '" + std::string(text.c_str()) + "'");
  data.findAndGetOFString(DCM_PatientSize, text);
  Expect(text == kTinyText, "PatientSize reads '" + std::string(text.c_str()) + "'");
  data.findAndGetOFString(DCM_PatientName, text);
  Expect(text == "M\xFCller^J\xF6rg", "PatientName keeps its ISO_IR 100 letters");

  const Uint16* stored = nullptr;
  unsigned long count = 0;
  data.findAndGetUint16Array(DCM_PixelData, stored, &count);
  Expect(stored && count == pixels.size() && std::memcmp(stored, pixels.data(), count * 2) == 0,
         "DICOM pixel data reads back equal");

  // The window maps 0..16383 onto 0..255: the darkest stored value renders
  // black and the brightest nearly white.
  DicomImage image(&file, EXS_LittleEndianExplicit);
  Expect(image.getStatus() == EIS_Normal, "DicomImage status");
  if (image.getStatus() != EIS_Normal) return;
  Expect(image.setWindow(0) != 0, "setWindow from the dataset");
  const auto* rendered = static_cast<const Uint8*>(image.getOutputData(8));
  Expect(rendered != nullptr, "getOutputData");
  if (!rendered) return;
  int darkest = 0;
  int brightest = 0;
  for (int i = 1; i < kWidth * kHeight; ++i) {
    if (pixels[i] < pixels[darkest]) darkest = i;
    if (pixels[i] > pixels[brightest]) brightest = i;
  }
  Expect(rendered[darkest] == 0, "windowed darkest pixel renders 0, got " + std::to_string(rendered[darkest]));
  Expect(rendered[brightest] >= 254, "windowed brightest pixel renders 254..255, got " +
                                         std::to_string(rendered[brightest]));
}

// Opening and dropping a network starts and stops Winsock.
void CheckNetwork() {
  T_ASC_Network* network = nullptr;
  const OFCondition opened = ASC_initializeNetwork(NET_REQUESTOR, 0, 5, &network);
  Expect(opened.good(), std::string("ASC_initializeNetwork: ") + opened.text());
  if (opened.good()) {
    Expect(ASC_dropNetwork(&network).good(), "ASC_dropNetwork");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  Expect(dcmDataDict.isDictionaryLoaded(), "the built-in DICOM dictionary is loaded");
  const std::string folder = argv[1];
  const std::vector<std::uint16_t> pixels = TestImage();

  WriteTiff(folder + "/check.tif", pixels);
  Expect(ReadTiff(folder + "/check.tif") == pixels, "TIFF pixels read back equal");
  WritePng(folder + "/check.png", pixels);
  Expect(ReadPng(folder + "/check.png") == pixels, "PNG pixels read back equal");
  WriteDicom(folder + "/check.dcm", pixels);
  CheckDicom(folder + "/check.dcm", pixels);
  CheckNetwork();

  if (failures == 0) {
    const std::string tiff = TIFFGetVersion();
    std::printf("%s, libpng %s, DCMTK %s: all checks passed\n", tiff.substr(0, tiff.find('\n')).c_str(),
                png_get_libpng_ver(nullptr), OFFIS_DCMTK_VERSION_STRING);
  }
  return failures == 0 ? 0 : 1;
}
