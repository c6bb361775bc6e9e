#!/usr/bin/python3
"""Tiny ONNX models with the interfaces sherpa-onnx 1.13.4 expects, and the test recordings.

No real model can be downloaded on the build machines, so the tests load these through the real
sherpa-onnx code; only the weights are ours. Run with Debian's python3 (python3-onnx, numpy):

    /usr/bin/python3 scripts/make-test-models.py OUT_DIR

OUT_DIR receives:
  sense/                 SenseVoice-compatible recogniser: speech gives text, silence gives ""
  sense-no-metadata/     the same graph without its metadata (sherpa-onnx ends the process)
  sense-corrupt/         a model file that is not ONNX at all (sherpa-onnx throws)
  qwen3-empty/           the Qwen3-ASR file set, every file empty
  punct/model.int8.onnx  CT-transformer punctuation: a per-character lookup ("次" → "，")
  gtcrn_simple.onnx      GTCRN online denoiser that passes audio through
  speaker.onnx           speaker embedding: per-band-group variance of the features
  speaker-no-framework.onnx  the same without its "framework" entry
  speech-two.wav         two espeak-ng sentences with a 1 s pause, 16 kHz mono
  speech-20s.wav         about 20 s of espeak-ng speech, 16 kHz mono
  voice-low-1/2.wav, voice-high.wav   two sentences of one voice, one of another
"""

import os
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

OPSET = 13
LFR_WINDOW = 7
FEATURE_DIM = 80 * LFR_WINDOW


def save(model_graph, path, metadata=None):
    model = helper.make_model(model_graph, opset_imports=[helper.make_opsetid("", OPSET)])
    model.ir_version = 8
    for key, value in (metadata or {}).items():
        entry = model.metadata_props.add()
        entry.key = key
        entry.value = str(value)
    onnx.checker.check_model(model)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    onnx.save(model, path)


def const(name, array):
    return helper.make_node("Constant", [], [name], value=numpy_helper.from_array(array, name + "_v"))


# --- SenseVoice ---------------------------------------------------------------------------
# Vocabulary: blank, the four tags sherpa strips from the front, two characters.
SENSE_TOKENS = ["<unk>", "<|zh|>", "<|NEUTRAL|>", "<|Speech|>", "<|withitn|>", "你", "好"]
# Mean log-mel energy (samples scaled to 16-bit) per LFR frame: below LOW blank, between LOW
# and HIGH "你", above HIGH "好". Digital silence sits near log(FLT_EPSILON) = -15.9.
LOW, HIGH = 4.0, 9.0


def sense_graph():
    vocab = len(SENSE_TOKENS)
    nodes = [
        helper.make_node("ReduceMean", ["x"], ["energy"], axes=[2], keepdims=1),
        const("low", np.array([LOW], np.float32)),
        const("two", np.array([2.0], np.float32)),
        const("low_high", np.array([LOW + HIGH], np.float32)),
        const("zero", np.array([0.0], np.float32)),
        const("big", np.array([1e4], np.float32)),
        helper.make_node("Sub", ["energy", "low"], ["score_a"]),
        helper.make_node("Mul", ["energy", "two"], ["twice"]),
        helper.make_node("Sub", ["twice", "low_high"], ["score_b"]),
        helper.make_node("Mul", ["energy", "zero"], ["blank"]),
        helper.make_node("Sub", ["blank", "big"], ["never"]),
        helper.make_node("Concat", ["blank", "never", "never", "never", "never", "score_a", "score_b"],
                         ["frames"], axis=2),
    ]
    prefix = np.full((1, 4, vocab), -1e4, np.float32)
    for row, token in enumerate([1, 2, 3, 4]):
        prefix[0, row, token] = 1e4
    nodes += [
        const("prefix", prefix),
        helper.make_node("Shape", ["x"], ["x_shape"]),
        const("s0", np.array([0], np.int64)),
        const("s1", np.array([1], np.int64)),
        helper.make_node("Slice", ["x_shape", "s0", "s1"], ["batch"]),
        const("rest", np.array([4, vocab], np.int64)),
        helper.make_node("Concat", ["batch", "rest"], ["prefix_shape"], axis=0),
        helper.make_node("Expand", ["prefix", "prefix_shape"], ["prefix_n"]),
        helper.make_node("Concat", ["prefix_n", "frames"], ["logits"], axis=1),
    ]
    inputs = [
        helper.make_tensor_value_info("x", TensorProto.FLOAT, ["N", "T", FEATURE_DIM]),
        helper.make_tensor_value_info("x_length", TensorProto.INT32, ["N"]),
        helper.make_tensor_value_info("language", TensorProto.INT32, ["N"]),
        helper.make_tensor_value_info("text_norm", TensorProto.INT32, ["N"]),
    ]
    outputs = [helper.make_tensor_value_info("logits", TensorProto.FLOAT, ["N", "T4", vocab])]
    return helper.make_graph(nodes, "sense_voice_test", inputs, outputs)


def sense_metadata():
    return {
        "vocab_size": len(SENSE_TOKENS), "lfr_window_size": LFR_WINDOW, "lfr_window_shift": 6,
        "normalize_samples": 0, "with_itn": 14, "without_itn": 15, "lang_auto": 0,
        "lang_zh": 3, "lang_en": 4, "lang_ja": 11, "lang_ko": 12, "lang_yue": 7, "blank_id": 0,
        "neg_mean": ",".join(["0"] * FEATURE_DIM), "inv_stddev": ",".join(["1"] * FEATURE_DIM),
    }


def write_tokens(path):
    with open(path, "w", encoding="utf-8") as f:
        for i, token in enumerate(SENSE_TOKENS):
            f.write(f"{token} {i}\n")


def make_sense(out):
    save(sense_graph(), os.path.join(out, "sense", "model.int8.onnx"), sense_metadata())
    write_tokens(os.path.join(out, "sense", "tokens.txt"))
    save(sense_graph(), os.path.join(out, "sense-no-metadata", "model.int8.onnx"))
    write_tokens(os.path.join(out, "sense-no-metadata", "tokens.txt"))
    os.makedirs(os.path.join(out, "sense-corrupt"), exist_ok=True)
    with open(os.path.join(out, "sense-corrupt", "model.int8.onnx"), "wb") as f:
        f.write(b"this is not an onnx model" * 40)
    write_tokens(os.path.join(out, "sense-corrupt", "tokens.txt"))


def make_qwen3_empty(out):
    base = os.path.join(out, "qwen3-empty")
    os.makedirs(os.path.join(base, "tokenizer"), exist_ok=True)
    for name in ["conv_frontend.onnx", "encoder.int8.onnx", "decoder.int8.onnx",
                 "tokenizer/vocab.json", "tokenizer/merges.txt", "tokenizer/tokenizer_config.json"]:
        open(os.path.join(base, name), "wb").close()


# --- CT-transformer punctuation -------------------------------------------------------------
PUNCT_TOKENS = ["<unk>", "这", "是", "一", "次", "加", "载", "自", "检", "你", "好", "今", "天"]
PUNCTUATIONS = ["<unk>", "_", "，", "。", "？", "、"]


def make_punct(out):
    table = np.zeros((len(PUNCT_TOKENS), len(PUNCTUATIONS)), np.float32)
    table[:, 1] = 1.0  # "_": no punctuation after this token
    table[PUNCT_TOKENS.index("次"), 2] = 2.0  # "，" after 次
    nodes = [const("table", table), helper.make_node("Gather", ["table", "ids"], ["logits"], axis=0)]
    inputs = [helper.make_tensor_value_info("ids", TensorProto.INT32, [1, "T"]),
              helper.make_tensor_value_info("text_lengths", TensorProto.INT32, [1])]
    outputs = [helper.make_tensor_value_info("logits", TensorProto.FLOAT, [1, "T", len(PUNCTUATIONS)])]
    save(helper.make_graph(nodes, "punct_test", inputs, outputs),
         os.path.join(out, "punct", "model.int8.onnx"),
         {"tokens": "|".join(PUNCT_TOKENS), "vocab_size": len(PUNCT_TOKENS),
          "punctuations": "|".join(PUNCTUATIONS), "unk_symbol": "<unk>", "model_type": "ct_transformer"})


# --- GTCRN ----------------------------------------------------------------------------------
def make_gtcrn(out):
    caches = {"conv_cache": [2, 1, 16, 16, 33], "tra_cache": [2, 3, 1, 1, 16], "inter_cache": [2, 1, 33, 16]}
    inputs = [helper.make_tensor_value_info("mix", TensorProto.FLOAT, [1, 257, 1, 2])]
    outputs = [helper.make_tensor_value_info("enh", TensorProto.FLOAT, [1, 257, 1, 2])]
    nodes = [helper.make_node("Identity", ["mix"], ["enh"])]
    for name, shape in caches.items():
        inputs.append(helper.make_tensor_value_info(name, TensorProto.FLOAT, shape))
        outputs.append(helper.make_tensor_value_info(name + "_out", TensorProto.FLOAT, shape))
        nodes.append(helper.make_node("Identity", [name], [name + "_out"]))
    metadata = {"model_type": "gtcrn", "sample_rate": 16000, "n_fft": 512, "hop_length": 256,
                "window_length": 512, "version": 1, "window_type": "hann_sqrt"}
    for name, shape in caches.items():
        metadata[name + "_shape"] = ",".join(str(d) for d in shape)
    save(helper.make_graph(nodes, "gtcrn_test", inputs, outputs),
         os.path.join(out, "gtcrn_simple.onnx"), metadata)


# --- speaker embedding ----------------------------------------------------------------------
def make_speaker(out):
    nodes = [
        helper.make_node("Mul", ["x", "x"], ["square"]),
        helper.make_node("ReduceMean", ["square"], ["band_var"], axes=[1], keepdims=0),
        const("groups", np.array([1, 16, 5], np.int64)),
        helper.make_node("Reshape", ["band_var", "groups"], ["grouped"]),
        helper.make_node("ReduceMean", ["grouped"], ["embedding"], axes=[2], keepdims=0),
    ]
    inputs = [helper.make_tensor_value_info("x", TensorProto.FLOAT, [1, "T", 80])]
    outputs = [helper.make_tensor_value_info("embedding", TensorProto.FLOAT, [1, 16])]
    metadata = {"framework": "3d-speaker", "output_dim": 16, "sample_rate": 16000,
                "normalize_samples": 1, "language": "Chinese", "feature_normalize_type": "global-mean"}
    graph = helper.make_graph(nodes, "speaker_test", inputs, outputs)
    save(graph, os.path.join(out, "speaker.onnx"), metadata)
    del metadata["framework"]  # sherpa-onnx hands out an extractor that crashes at first use
    save(graph, os.path.join(out, "speaker-no-framework.onnx"), metadata)


# --- recordings -----------------------------------------------------------------------------
def espeak(text, voice="cmn", pitch=50):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "say.wav")
        subprocess.run(["espeak-ng", "-v", voice, "-p", str(pitch), "-w", path, text], check=True)
        with wave.open(path, "rb") as w:
            rate = w.getframerate()
            pcm = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float32) / 32768.0
    target = int(round(len(pcm) * 16000 / rate))
    return np.interp(np.linspace(0, len(pcm) - 1, target), np.arange(len(pcm)), pcm).astype(np.float32)


def write_wav(path, samples):
    pcm = np.clip(np.round(samples * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(16000)
        w.writeframes(pcm.tobytes())


def make_recordings(out):
    first = espeak("今天天气很好，我们去公园散步吧")
    second = espeak("明天早上八点开会，请大家准时参加")
    pause = np.zeros(16000, np.float32)
    write_wav(os.path.join(out, "speech-two.wav"), np.concatenate([first, pause, second]))
    sentences = ["今天天气很好，我们去公园散步吧", "明天早上八点开会，请大家准时参加",
                 "这个周末我想去图书馆看书", "请把窗户打开，房间里有点热", "晚饭我们吃面条还是米饭"]
    parts = []
    total = 0
    while total < 20 * 16000:
        for s in sentences:
            piece = espeak(s)
            parts += [piece, np.zeros(8000, np.float32)]
            total += len(piece) + 8000
            if total >= 20 * 16000:
                break
    write_wav(os.path.join(out, "speech-20s.wav"), np.concatenate(parts)[: 20 * 16000])
    # Two speakers for the voice lock: a low male voice twice, a high female voice once.
    write_wav(os.path.join(out, "voice-low-1.wav"), espeak(sentences[2], "cmn+m3", 20))
    write_wav(os.path.join(out, "voice-low-2.wav"), espeak(sentences[3], "cmn+m3", 20))
    write_wav(os.path.join(out, "voice-high.wav"), espeak(sentences[2], "cmn+f4", 95))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    make_sense(out)
    make_qwen3_empty(out)
    make_punct(out)
    make_gtcrn(out)
    make_speaker(out)
    make_recordings(out)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("ok\n")


if __name__ == "__main__":
    main()
