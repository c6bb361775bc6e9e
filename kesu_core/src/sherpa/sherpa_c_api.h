#pragma once

// Declarations of the part of the sherpa-onnx 1.13.4 C interface that the core uses, written
// from its documented ABI. The static_asserts pin the layouts the library expects.

#include <cstdint>

extern "C" {

struct SherpaOnnxLinearResampler;

struct SherpaOnnxResampleOut {
  const float* samples;
  int32_t n;
};

const SherpaOnnxLinearResampler* SherpaOnnxCreateLinearResampler(int32_t samp_rate_in_hz,
                                                                 int32_t samp_rate_out_hz,
                                                                 float filter_cutoff_hz,
                                                                 int32_t num_zeros);
const SherpaOnnxResampleOut* SherpaOnnxLinearResamplerResample(const SherpaOnnxLinearResampler* p,
                                                               const float* input,
                                                               int32_t input_dim, int32_t flush);
void SherpaOnnxLinearResamplerResampleFree(const SherpaOnnxResampleOut* p);
void SherpaOnnxLinearResamplerReset(const SherpaOnnxLinearResampler* p);
void SherpaOnnxDestroyLinearResampler(const SherpaOnnxLinearResampler* p);

const char* SherpaOnnxGetVersionStr(void);

}  // extern "C"

static_assert(sizeof(SherpaOnnxResampleOut) == 16);
