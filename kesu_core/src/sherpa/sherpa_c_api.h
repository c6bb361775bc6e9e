#pragma once

// Declarations of the part of the sherpa-onnx 1.13.4 C interface that the core uses, written
// from its documented ABI. Nothing links against these functions: the library is opened at run
// time and each one is resolved by name (sherpa_library.h); the prototypes only give the types.
// The static_asserts pin the layouts the library expects, on Linux and on Win64 alike.

#include <cstddef>
#include <cstdint>

extern "C" {

struct SherpaOnnxLinearResampler;
struct SherpaOnnxOfflineRecognizer;
struct SherpaOnnxOfflineStream;
struct SherpaOnnxVoiceActivityDetector;
struct SherpaOnnxOnlineSpeechDenoiser;
struct SherpaOnnxOfflinePunctuation;
struct SherpaOnnxSpeakerEmbeddingExtractor;
struct SherpaOnnxOnlineStream;

// --- common ---------------------------------------------------------------------------------

struct SherpaOnnxFeatureConfig {
  int32_t sample_rate;
  int32_t feature_dim;
};

// --- offline recogniser ---------------------------------------------------------------------
// Every model sub-struct is declared, used or not: each one sets the offsets of those after it.

struct SherpaOnnxOfflineTransducerModelConfig {
  const char* encoder;
  const char* decoder;
  const char* joiner;
};
struct SherpaOnnxOfflineParaformerModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineNemoEncDecCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineWhisperModelConfig {
  const char* encoder;
  const char* decoder;
  const char* language;
  const char* task;
  int32_t tail_paddings;
  int32_t enable_token_timestamps;
  int32_t enable_segment_timestamps;
};
struct SherpaOnnxOfflineTdnnModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineSenseVoiceModelConfig {
  const char* model;
  const char* language;
  int32_t use_itn;
};
struct SherpaOnnxOfflineMoonshineModelConfig {
  const char* preprocessor;
  const char* encoder;
  const char* uncached_decoder;
  const char* cached_decoder;
  const char* merged_decoder;
};
struct SherpaOnnxOfflineFireRedAsrModelConfig {
  const char* encoder;
  const char* decoder;
};
struct SherpaOnnxOfflineDolphinModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineZipformerCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineCanaryModelConfig {
  const char* encoder;
  const char* decoder;
  const char* src_lang;
  const char* tgt_lang;
  int32_t use_pnc;
};
struct SherpaOnnxOfflineWenetCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineOmnilingualAsrCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineMedAsrCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineFunASRNanoModelConfig {
  const char* encoder_adaptor;
  const char* llm;
  const char* embedding;
  const char* tokenizer;
  const char* system_prompt;
  const char* user_prompt;
  int32_t max_new_tokens;
  float temperature;
  float top_p;
  int32_t seed;
  const char* language;
  int32_t itn;
  const char* hotwords;
};
struct SherpaOnnxOfflineFireRedAsrCtcModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineQwen3ASRModelConfig {
  const char* conv_frontend;
  const char* encoder;
  const char* decoder;
  const char* tokenizer;  // a folder
  int32_t max_total_len;
  int32_t max_new_tokens;
  float temperature;
  float top_p;
  int32_t seed;
  const char* hotwords;
};
struct SherpaOnnxOfflineCohereTranscribeModelConfig {
  const char* encoder;
  const char* decoder;
  const char* language;
  int32_t use_punct;
  int32_t use_itn;
};

struct SherpaOnnxOfflineModelConfig {
  SherpaOnnxOfflineTransducerModelConfig transducer;
  SherpaOnnxOfflineParaformerModelConfig paraformer;
  SherpaOnnxOfflineNemoEncDecCtcModelConfig nemo_ctc;
  SherpaOnnxOfflineWhisperModelConfig whisper;
  SherpaOnnxOfflineTdnnModelConfig tdnn;
  const char* tokens;
  int32_t num_threads;
  int32_t debug;
  const char* provider;
  const char* model_type;
  const char* modeling_unit;
  const char* bpe_vocab;
  const char* telespeech_ctc;
  SherpaOnnxOfflineSenseVoiceModelConfig sense_voice;
  SherpaOnnxOfflineMoonshineModelConfig moonshine;
  SherpaOnnxOfflineFireRedAsrModelConfig fire_red_asr;
  SherpaOnnxOfflineDolphinModelConfig dolphin;
  SherpaOnnxOfflineZipformerCtcModelConfig zipformer_ctc;
  SherpaOnnxOfflineCanaryModelConfig canary;
  SherpaOnnxOfflineWenetCtcModelConfig wenet_ctc;
  SherpaOnnxOfflineOmnilingualAsrCtcModelConfig omnilingual;
  SherpaOnnxOfflineMedAsrCtcModelConfig medasr;
  SherpaOnnxOfflineFunASRNanoModelConfig funasr_nano;
  SherpaOnnxOfflineFireRedAsrCtcModelConfig fire_red_asr_ctc;
  SherpaOnnxOfflineQwen3ASRModelConfig qwen3_asr;
  SherpaOnnxOfflineCohereTranscribeModelConfig cohere_transcribe;
};

struct SherpaOnnxOfflineLMConfig {
  const char* model;
  float scale;
};
struct SherpaOnnxHomophoneReplacerConfig {
  const char* dict_dir;
  const char* lexicon;
  const char* rule_fsts;
};

struct SherpaOnnxOfflineRecognizerConfig {
  SherpaOnnxFeatureConfig feat_config;
  SherpaOnnxOfflineModelConfig model_config;
  SherpaOnnxOfflineLMConfig lm_config;
  const char* decoding_method;
  int32_t max_active_paths;
  const char* hotwords_file;
  float hotwords_score;
  const char* rule_fsts;
  const char* rule_fars;
  float blank_penalty;
  SherpaOnnxHomophoneReplacerConfig hr;
};

struct SherpaOnnxOfflineRecognizerResult {
  const char* text;
  float* timestamps;
  int32_t count;
  const char* tokens;
  const char* const* tokens_arr;
  const char* json;
  const char* lang;
  const char* emotion;
  const char* event;
  float* durations;
  float* ys_log_probs;
  const float* segment_timestamps;
  const float* segment_durations;
  const char* segment_texts;
  const char* const* segment_texts_arr;
  int32_t segment_count;
};

const SherpaOnnxOfflineRecognizer* SherpaOnnxCreateOfflineRecognizer(
    const SherpaOnnxOfflineRecognizerConfig* config);
void SherpaOnnxDestroyOfflineRecognizer(const SherpaOnnxOfflineRecognizer* recognizer);
const SherpaOnnxOfflineStream* SherpaOnnxCreateOfflineStream(
    const SherpaOnnxOfflineRecognizer* recognizer);
void SherpaOnnxDestroyOfflineStream(const SherpaOnnxOfflineStream* stream);
void SherpaOnnxAcceptWaveformOffline(const SherpaOnnxOfflineStream* stream, int32_t sample_rate,
                                     const float* samples, int32_t n);
void SherpaOnnxDecodeOfflineStream(const SherpaOnnxOfflineRecognizer* recognizer,
                                   const SherpaOnnxOfflineStream* stream);
const SherpaOnnxOfflineRecognizerResult* SherpaOnnxGetOfflineStreamResult(
    const SherpaOnnxOfflineStream* stream);
void SherpaOnnxDestroyOfflineRecognizerResult(const SherpaOnnxOfflineRecognizerResult* result);

// --- voice activity detector ----------------------------------------------------------------

struct SherpaOnnxSileroVadModelConfig {
  const char* model;
  float threshold;
  float min_silence_duration;
  float min_speech_duration;
  int32_t window_size;
  float max_speech_duration;
};
using SherpaOnnxTenVadModelConfig = SherpaOnnxSileroVadModelConfig;  // same fields and layout

struct SherpaOnnxVadModelConfig {
  SherpaOnnxSileroVadModelConfig silero_vad;
  int32_t sample_rate;
  int32_t num_threads;
  const char* provider;
  int32_t debug;
  SherpaOnnxTenVadModelConfig ten_vad;
};

struct SherpaOnnxSpeechSegment {
  int32_t start;
  float* samples;
  int32_t n;
};

const SherpaOnnxVoiceActivityDetector* SherpaOnnxCreateVoiceActivityDetector(
    const SherpaOnnxVadModelConfig* config, float buffer_size_in_seconds);
void SherpaOnnxDestroyVoiceActivityDetector(const SherpaOnnxVoiceActivityDetector* vad);
void SherpaOnnxVoiceActivityDetectorAcceptWaveform(const SherpaOnnxVoiceActivityDetector* vad,
                                                   const float* samples, int32_t n);
int32_t SherpaOnnxVoiceActivityDetectorEmpty(const SherpaOnnxVoiceActivityDetector* vad);
const SherpaOnnxSpeechSegment* SherpaOnnxVoiceActivityDetectorFront(
    const SherpaOnnxVoiceActivityDetector* vad);
void SherpaOnnxVoiceActivityDetectorPop(const SherpaOnnxVoiceActivityDetector* vad);
void SherpaOnnxVoiceActivityDetectorFlush(const SherpaOnnxVoiceActivityDetector* vad);
void SherpaOnnxVoiceActivityDetectorReset(const SherpaOnnxVoiceActivityDetector* vad);
void SherpaOnnxDestroySpeechSegment(const SherpaOnnxSpeechSegment* segment);

// --- online speech denoiser -----------------------------------------------------------------

struct SherpaOnnxOfflineSpeechDenoiserGtcrnModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineSpeechDenoiserDpdfNetModelConfig {
  const char* model;
};
struct SherpaOnnxOfflineSpeechDenoiserModelConfig {
  SherpaOnnxOfflineSpeechDenoiserGtcrnModelConfig gtcrn;
  int32_t num_threads;
  int32_t debug;
  const char* provider;  // "" stays "" here: always set "cpu"
  SherpaOnnxOfflineSpeechDenoiserDpdfNetModelConfig dpdfnet;
};
struct SherpaOnnxOnlineSpeechDenoiserConfig {
  SherpaOnnxOfflineSpeechDenoiserModelConfig model;
};
struct SherpaOnnxDenoisedAudio {
  const float* samples;
  int32_t n;
  int32_t sample_rate;
};

const SherpaOnnxOnlineSpeechDenoiser* SherpaOnnxCreateOnlineSpeechDenoiser(
    const SherpaOnnxOnlineSpeechDenoiserConfig* config);
void SherpaOnnxDestroyOnlineSpeechDenoiser(const SherpaOnnxOnlineSpeechDenoiser* denoiser);
int32_t SherpaOnnxOnlineSpeechDenoiserGetSampleRate(const SherpaOnnxOnlineSpeechDenoiser* denoiser);
const SherpaOnnxDenoisedAudio* SherpaOnnxOnlineSpeechDenoiserRun(
    const SherpaOnnxOnlineSpeechDenoiser* denoiser, const float* samples, int32_t n,
    int32_t sample_rate);
const SherpaOnnxDenoisedAudio* SherpaOnnxOnlineSpeechDenoiserFlush(
    const SherpaOnnxOnlineSpeechDenoiser* denoiser);
void SherpaOnnxDestroyDenoisedAudio(const SherpaOnnxDenoisedAudio* audio);

// --- linear resampler -----------------------------------------------------------------------

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

// --- offline punctuation (note: two names without "Onnx") ----------------------------------

struct SherpaOnnxOfflinePunctuationModelConfig {
  const char* ct_transformer;
  int32_t num_threads;
  int32_t debug;
  const char* provider;
};
struct SherpaOnnxOfflinePunctuationConfig {
  SherpaOnnxOfflinePunctuationModelConfig model;
};

const SherpaOnnxOfflinePunctuation* SherpaOnnxCreateOfflinePunctuation(
    const SherpaOnnxOfflinePunctuationConfig* config);
void SherpaOnnxDestroyOfflinePunctuation(const SherpaOnnxOfflinePunctuation* punct);
const char* SherpaOfflinePunctuationAddPunct(const SherpaOnnxOfflinePunctuation* punct,
                                             const char* text);
void SherpaOfflinePunctuationFreeText(const char* text);

// --- speaker embedding ----------------------------------------------------------------------

struct SherpaOnnxSpeakerEmbeddingExtractorConfig {
  const char* model;
  int32_t num_threads;
  int32_t debug;
  const char* provider;
};

const SherpaOnnxSpeakerEmbeddingExtractor* SherpaOnnxCreateSpeakerEmbeddingExtractor(
    const SherpaOnnxSpeakerEmbeddingExtractorConfig* config);
void SherpaOnnxDestroySpeakerEmbeddingExtractor(const SherpaOnnxSpeakerEmbeddingExtractor* p);
int32_t SherpaOnnxSpeakerEmbeddingExtractorDim(const SherpaOnnxSpeakerEmbeddingExtractor* p);
const SherpaOnnxOnlineStream* SherpaOnnxSpeakerEmbeddingExtractorCreateStream(
    const SherpaOnnxSpeakerEmbeddingExtractor* p);
void SherpaOnnxOnlineStreamAcceptWaveform(const SherpaOnnxOnlineStream* s, int32_t sample_rate,
                                          const float* samples, int32_t n);
void SherpaOnnxOnlineStreamInputFinished(const SherpaOnnxOnlineStream* s);
int32_t SherpaOnnxSpeakerEmbeddingExtractorIsReady(const SherpaOnnxSpeakerEmbeddingExtractor* p,
                                                   const SherpaOnnxOnlineStream* s);
const float* SherpaOnnxSpeakerEmbeddingExtractorComputeEmbedding(
    const SherpaOnnxSpeakerEmbeddingExtractor* p, const SherpaOnnxOnlineStream* s);
void SherpaOnnxSpeakerEmbeddingExtractorDestroyEmbedding(const float* v);
void SherpaOnnxDestroyOnlineStream(const SherpaOnnxOnlineStream* s);

const char* SherpaOnnxGetVersionStr(void);

}  // extern "C"

static_assert(sizeof(SherpaOnnxFeatureConfig) == 8);
static_assert(sizeof(SherpaOnnxOfflineWhisperModelConfig) == 48);
static_assert(sizeof(SherpaOnnxOfflineSenseVoiceModelConfig) == 24);
static_assert(sizeof(SherpaOnnxOfflineCanaryModelConfig) == 40);
static_assert(sizeof(SherpaOnnxOfflineFunASRNanoModelConfig) == 88);
static_assert(sizeof(SherpaOnnxOfflineQwen3ASRModelConfig) == 64);
static_assert(sizeof(SherpaOnnxOfflineCohereTranscribeModelConfig) == 32);
static_assert(sizeof(SherpaOnnxOfflineModelConfig) == 504);
static_assert(sizeof(SherpaOnnxOfflineRecognizerConfig) == 608);
static_assert(offsetof(SherpaOnnxOfflineRecognizerConfig, model_config) == 8);
static_assert(offsetof(SherpaOnnxOfflineModelConfig, tokens) == 96);
static_assert(offsetof(SherpaOnnxOfflineModelConfig, sense_voice) == 152);
static_assert(offsetof(SherpaOnnxOfflineModelConfig, funasr_nano) == 312);
static_assert(offsetof(SherpaOnnxOfflineModelConfig, qwen3_asr) == 408);
static_assert(offsetof(SherpaOnnxOfflineRecognizerConfig, decoding_method) == 528);
static_assert(offsetof(SherpaOnnxOfflineRecognizerConfig, hr) == 584);
static_assert(sizeof(SherpaOnnxOfflineRecognizerResult) == 128);
static_assert(offsetof(SherpaOnnxOfflineRecognizerResult, segment_count) == 120);
static_assert(sizeof(SherpaOnnxSileroVadModelConfig) == 32);
static_assert(sizeof(SherpaOnnxVadModelConfig) == 88);
static_assert(offsetof(SherpaOnnxVadModelConfig, sample_rate) == 32);
static_assert(offsetof(SherpaOnnxVadModelConfig, ten_vad) == 56);
static_assert(sizeof(SherpaOnnxSpeechSegment) == 24);
static_assert(sizeof(SherpaOnnxOfflineSpeechDenoiserModelConfig) == 32);
static_assert(sizeof(SherpaOnnxDenoisedAudio) == 16);
static_assert(sizeof(SherpaOnnxResampleOut) == 16);
static_assert(sizeof(SherpaOnnxOfflinePunctuationConfig) == 24);
static_assert(sizeof(SherpaOnnxSpeakerEmbeddingExtractorConfig) == 24);
