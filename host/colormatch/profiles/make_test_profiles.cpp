// Writes the profiles the colour engine's and the pipeline's tests read,
// with Little CMS's own API, into the directory given as the argument:
//
//   srgb.icc          sRGB
//   printer_rgb.icc   an RGB device with its own primaries and a 1.8 tone
//                     curve, so that sRGB to it really changes values
//   printer_cmyk.icc  a CMYK output profile from a simple ink model, as
//                     AToB0/BToA0 lookup tables
//   gray.icc          grey with a 2.2 tone curve
//   lab.icc           a Lab profile (a space the engine refuses)
//   broken files: empty.icc; truncated.icc (60 bytes of a header);
//   short_body.icc (a whole header whose size field passes the file's
//   end); bad_signature.icc; text.icc
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr cmsUInt32Number kCmykGrid = 9;
constexpr cmsUInt32Number kLabGrid = 17;

bool Save(cmsHPROFILE profile, const std::string &path, const char *description) {
  if (profile == nullptr) return false;
  cmsMLU *text = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(text, "en", "US", description);
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
  cmsMLUfree(text);
  const bool saved = cmsSaveProfileToFile(profile, path.c_str()) != 0;
  cmsCloseProfile(profile);
  return saved;
}

bool WriteBytes(const std::string &path, const std::vector<char> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<char> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

cmsHPROFILE PrinterRgb() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6000);
  const cmsCIExyYTRIPLE primaries = {{0.660, 0.320, 1.0}, {0.250, 0.650, 1.0}, {0.145, 0.070, 1.0}};
  cmsToneCurve *curve = cmsBuildGamma(nullptr, 1.8);
  cmsToneCurve *curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  if (profile != nullptr) cmsSetDeviceClass(profile, cmsSigOutputClass);
  return profile;
}

// The ink model: each ink takes away its complementary light, black all of
// it; the light left is an sRGB colour, which lcms2 turns into Lab.
struct InkModel {
  cmsHTRANSFORM rgbToLab;
  cmsHTRANSFORM labToRgb;
};

int CmykToLab(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) {
  const auto *model = static_cast<const InkModel *>(cargo);
  const double k = in[3] / 65535.0;
  double rgb[3];
  for (int c = 0; c < 3; ++c) rgb[c] = (1.0 - in[c] / 65535.0) * (1.0 - k);
  cmsCIELab lab;
  cmsDoTransform(model->rgbToLab, rgb, &lab, 1);
  cmsFloat2LabEncoded(out, &lab);
  return 1;
}

int LabToCmyk(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) {
  const auto *model = static_cast<const InkModel *>(cargo);
  cmsCIELab lab;
  cmsLabEncoded2Float(&lab, in);
  double rgb[3];
  cmsDoTransform(model->labToRgb, &lab, rgb, 1);
  double cmy[3];
  for (int c = 0; c < 3; ++c) cmy[c] = 1.0 - std::clamp(rgb[c], 0.0, 1.0);
  // Half of the grey component goes to black.
  const double k = 0.5 * std::min({cmy[0], cmy[1], cmy[2]});
  for (int c = 0; c < 3; ++c) {
    const double ink = k < 1.0 ? (cmy[c] - k) / (1.0 - k) : 0.0;
    out[c] = static_cast<cmsUInt16Number>(std::clamp(ink, 0.0, 1.0) * 65535.0 + 0.5);
  }
  out[3] = static_cast<cmsUInt16Number>(k * 65535.0 + 0.5);
  return 1;
}

// Identity curves, the sampled table, identity curves: the shape an
// AToB or BToA tag takes.
cmsPipeline *SampledPipeline(cmsUInt32Number inputs, cmsUInt32Number outputs, cmsUInt32Number grid,
                             cmsSAMPLER16 sampler, InkModel *model) {
  cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, inputs, outputs);
  if (pipeline == nullptr) return nullptr;
  cmsStage *clut = cmsStageAllocCLut16bit(nullptr, grid, inputs, outputs, nullptr);
  bool ok = clut != nullptr && cmsStageSampleCLut16bit(clut, sampler, model, 0);
  ok = ok && cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, inputs, nullptr));
  ok = ok && cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
  if (!ok && clut != nullptr) cmsStageFree(clut);
  ok = ok && cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, outputs, nullptr));
  if (!ok) {
    cmsPipelineFree(pipeline);
    return nullptr;
  }
  return pipeline;
}

cmsHPROFILE PrinterCmyk() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  InkModel model{
      cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0),
      cmsCreateTransform(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0),
  };
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  cmsHPROFILE profile = nullptr;
  cmsPipeline *aToB = SampledPipeline(4, 3, kCmykGrid, CmykToLab, &model);
  cmsPipeline *bToA = SampledPipeline(3, 4, kLabGrid, LabToCmyk, &model);
  if (model.rgbToLab != nullptr && model.labToRgb != nullptr && aToB != nullptr && bToA != nullptr) {
    profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsSetHeaderRenderingIntent(profile, INTENT_PERCEPTUAL);
    if (!cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ()) ||
        !cmsWriteTag(profile, cmsSigAToB0Tag, aToB) || !cmsWriteTag(profile, cmsSigBToA0Tag, bToA)) {
      cmsCloseProfile(profile);
      profile = nullptr;
    }
  }
  if (aToB != nullptr) cmsPipelineFree(aToB);
  if (bToA != nullptr) cmsPipelineFree(bToA);
  if (model.rgbToLab != nullptr) cmsDeleteTransform(model.rgbToLab);
  if (model.labToRgb != nullptr) cmsDeleteTransform(model.labToRgb);
  return profile;
}

cmsHPROFILE Gray() {
  cmsToneCurve *curve = cmsBuildGamma(nullptr, 2.2);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return profile;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number code, const char *text) {
    std::fprintf(stderr, "lcms2 error %u: %s\n", code, text);
  });
  const std::string dir = std::string(argv[1]) + "/";
  bool ok = Save(cmsCreate_sRGBProfile(), dir + "srgb.icc", "sRGB") &&
            Save(PrinterRgb(), dir + "printer_rgb.icc", "Printer RGB, gamma 1.8") &&
            Save(PrinterCmyk(), dir + "printer_cmyk.icc", "Printer CMYK, simple ink model") &&
            Save(Gray(), dir + "gray.icc", "Grey, gamma 2.2") &&
            Save(cmsCreateLab4Profile(nullptr), dir + "lab.icc", "Lab");
  if (ok) {
    const std::vector<char> srgb = ReadBytes(dir + "srgb.icc");
    std::vector<char> badSignature = srgb;
    ok = badSignature.size() > 200;
    if (ok) {
      badSignature[36] = 'x';
      ok = WriteBytes(dir + "empty.icc", {}) &&
           WriteBytes(dir + "truncated.icc", std::vector<char>(srgb.begin(), srgb.begin() + 60)) &&
           WriteBytes(dir + "short_body.icc", std::vector<char>(srgb.begin(), srgb.begin() + 200)) &&
           WriteBytes(dir + "bad_signature.icc", badSignature);
    }
    const std::string text = "This is a text file, not a colour profile.\n";
    ok = ok && WriteBytes(dir + "text.icc", std::vector<char>(text.begin(), text.end()));
  }
  if (!ok) {
    std::fprintf(stderr, "%s: could not write the test profiles into %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
