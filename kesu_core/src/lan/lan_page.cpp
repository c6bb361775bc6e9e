#include "lan/lan_page.h"

namespace kesu::lan {
namespace {

constexpr std::string_view kPage = R"KESUPAGE(<!doctype html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Kesu 听写</title>
<style>
:root { color-scheme: light dark; --bg: #ffffff; --fg: #1d1d1f; --muted: #6e6e73; --line: #d2d2d7;
  --accent: #0a66d8; --red: #d70015; --field: #f5f5f7; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #1c1c1e; --fg: #f2f2f7; --muted: #a1a1a6; --line: #3a3a3c; --accent: #4c9bff;
    --red: #ff453a; --field: #2c2c2e; }
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--fg);
  font: 16px/1.5 -apple-system, "Segoe UI", "PingFang SC", "Microsoft YaHei", sans-serif; }
main { max-width: 560px; margin: 0 auto; padding: 20px 16px 32px; }
h1 { font-size: 24px; margin: 0 0 4px; }
.sub { color: var(--muted); margin: 0 0 16px; font-size: 14px; }
button { font: inherit; border-radius: 10px; border: 1px solid var(--line); background: var(--field);
  color: var(--fg); padding: 10px 14px; cursor: pointer; }
button:disabled { opacity: .45; cursor: default; }
#rec { width: 100%; padding: 18px; font-size: 18px; background: var(--accent); color: #fff; border: 0; }
#rec.on { background: var(--red); }
.bar { height: 6px; background: var(--line); border-radius: 3px; margin: 10px 0 12px; overflow: hidden; }
.bar > div { height: 100%; width: 0; background: var(--accent); }
.row { display: flex; gap: 8px; margin: 10px 0; flex-wrap: wrap; }
.row > * { flex: 1; }
input[type=password], textarea { width: 100%; font: inherit; color: var(--fg); background: var(--field);
  border: 1px solid var(--line); border-radius: 10px; padding: 10px; }
textarea { min-height: 140px; resize: vertical; }
#hint { min-height: 1.5em; color: var(--muted); margin: 8px 0; }
#hint.err { color: var(--red); }
.note { color: var(--muted); font-size: 13px; margin-top: 16px; }
</style>
</head>
<body>
<main>
<h1>Kesu 听写</h1>
<p class="sub">音频发到这台电脑，用它的本地模型转文字（不上传任何云端）。</p>
<button id="rec">按住说话？点一下开始</button>
<div class="bar"><div id="progress"></div></div>
<div class="row"><button id="send" disabled>结束并转文字</button><button id="clear">清空</button></div>
<input id="token" type="password" placeholder="token（这台电脑上设过的那个）" autocomplete="off">
<div class="row"><textarea id="out" placeholder="识别结果会出现在这里"></textarea></div>
<div class="row"><button id="copy">复制结果</button></div>
<div class="row"><input id="file" type="file" accept="audio/*"></div>
<div id="hint"></div>
<p class="note">说明：浏览器录音需要 https 或 localhost 才被允许；用 IP 直接打开时只能选文件（手机上先录好音再选）。</p>
</main>
<script>
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var rec = $("rec"), send = $("send"), out = $("out"), hint = $("hint"), token = $("token"), bar = $("progress");
  var stream = null, ctx = null, node = null, source = null, blocks = [], rate = 16000, timer = null, started = 0;

  try { token.value = localStorage.getItem("kesu_token") || ""; } catch (e) {}
  token.addEventListener("change", function () {
    try { localStorage.setItem("kesu_token", token.value); } catch (e) {}
  });

  function say(text, bad) { hint.textContent = text; hint.className = bad ? "err" : ""; }

  function resample(input, from) {
    if (from === 16000) return input;
    var ratio = from / 16000, n = Math.floor(input.length / ratio), outp = new Float32Array(n);
    for (var i = 0; i < n; i++) {
      var pos = i * ratio, k = Math.floor(pos), frac = pos - k;
      var a = input[k], b = k + 1 < input.length ? input[k + 1] : input[input.length - 1];
      outp[i] = a + (b - a) * frac;
    }
    return outp;
  }

  function wav(samples) {
    var buf = new ArrayBuffer(44 + samples.length * 2), v = new DataView(buf);
    function str(at, s) { for (var i = 0; i < s.length; i++) v.setUint8(at + i, s.charCodeAt(i)); }
    str(0, "RIFF"); v.setUint32(4, 36 + samples.length * 2, true); str(8, "WAVE");
    str(12, "fmt "); v.setUint32(16, 16, true); v.setUint16(20, 1, true); v.setUint16(22, 1, true);
    v.setUint32(24, 16000, true); v.setUint32(28, 32000, true); v.setUint16(32, 2, true); v.setUint16(34, 16, true);
    str(36, "data"); v.setUint32(40, samples.length * 2, true);
    for (var i = 0; i < samples.length; i++) {
      var s = Math.max(-1, Math.min(1, samples[i]));
      v.setInt16(44 + i * 2, s < 0 ? s * 32768 : s * 32767, true);
    }
    return new Blob([buf], { type: "audio/wav" });
  }

  function transcribe(blob) {
    out.value = "识别中…";
    var headers = {}, t = token.value.trim(), begun = performance.now();
    if (t) headers["x-kesu-token"] = t;
    fetch("/transcribe", { method: "POST", body: blob, headers: headers }).then(function (r) {
      return r.json().catch(function () { return {}; }).then(function (j) {
        if (j.ok !== true) throw new Error(j.message || ("HTTP " + r.status));
        return j;
      });
    }).then(function (j) {
      out.value = j.text ? j.text : "（这段没听出内容）";
      var msg = "用时 " + Math.round(performance.now() - begun) + "ms";
      if (j.chars) msg += "，" + j.chars + " 字";
      say(msg, false);
    }).catch(function (e) {
      out.value = "";
      say("失败：" + (e && e.message ? e.message : e), true);
    });
  }

  function stop(andSend) {
    if (!stream) return;
    clearInterval(timer); timer = null; bar.style.width = "0";
    stream.getTracks().forEach(function (t) { t.stop(); });
    if (node) node.disconnect();
    if (source) source.disconnect();
    if (ctx) ctx.close();
    stream = null; ctx = null; node = null; source = null;
    rec.textContent = "点一下开始录音"; rec.className = ""; send.disabled = true;
    var total = 0; blocks.forEach(function (b) { total += b.length; });
    if (!andSend) return;
    if (total < 0.3 * rate) { say("太短了，再录长一点", false); return; }
    var joined = new Float32Array(total), at = 0;
    blocks.forEach(function (b) { joined.set(b, at); at += b.length; });
    transcribe(wav(resample(joined, rate)));
  }

  function start() {
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
      say("拿不到麦克风：浏览器不允许（用 IP 打开时必须走 https；也可以下面选文件）", true);
      return;
    }
    navigator.mediaDevices.getUserMedia({ audio: { channelCount: 1, echoCancellation: true, noiseSuppression: true } })
      .then(function (s) {
        stream = s; blocks = [];
        ctx = new (window.AudioContext || window.webkitAudioContext)();
        rate = ctx.sampleRate;
        source = ctx.createMediaStreamSource(s);
        node = ctx.createScriptProcessor(4096, 1, 1);
        node.onaudioprocess = function (e) { blocks.push(new Float32Array(e.inputBuffer.getChannelData(0))); };
        source.connect(node); node.connect(ctx.destination);
        started = Date.now();
        timer = setInterval(function () {
          bar.style.width = Math.min(100, (Date.now() - started) / 600) + "%";
        }, 100);
        rec.textContent = "正在录…点一下停止"; rec.className = "on"; send.disabled = false; say("", false);
      })
      .catch(function (e) {
        say("拿不到麦克风：" + (e && e.message ? e.message : e) + "（用 IP 打开时必须走 https；也可以下面选文件）", true);
      });
  }

  rec.addEventListener("click", function () { if (stream) stop(true); else start(); });
  send.addEventListener("click", function () { stop(true); });
  $("clear").addEventListener("click", function () { out.value = ""; say("", false); });
  $("copy").addEventListener("click", function () {
    var done = function () { say("已复制", false); };
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(out.value).then(done, function () { out.select(); document.execCommand("copy"); done(); });
    } else { out.select(); document.execCommand("copy"); done(); }
  });
  $("file").addEventListener("change", function (ev) {
    var f = ev.target.files && ev.target.files[0];
    if (!f) return;
    f.arrayBuffer().then(function (data) {
      var ac = new (window.AudioContext || window.webkitAudioContext)();
      return ac.decodeAudioData(data).then(function (audio) {
        ac.close();
        var n = audio.length, mono = new Float32Array(n);
        for (var c = 0; c < audio.numberOfChannels; c++) {
          var ch = audio.getChannelData(c);
          for (var i = 0; i < n; i++) mono[i] += ch[i] / audio.numberOfChannels;
        }
        transcribe(wav(resample(mono, audio.sampleRate)));
      });
    }).catch(function (e) {
      say("这个文件解不开：" + (e && e.message ? e.message : e), true);
    });
    ev.target.value = "";
  });
})();
</script>
</body>
</html>
)KESUPAGE";

}  // namespace

std::string_view dictation_page() { return kPage; }

}  // namespace kesu::lan
