// Opens the LAN dictation page of a running server in headless Chromium, sends a WAV through the
// file chooser and checks that the recognised text and the timing hint appear. Saves a
// screenshot in each colour scheme.
//   node page_test.mjs URL WAV OUT_DIR
import { chromium } from 'playwright-core';

const [url, wav, outDir] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
let failed = false;
const check = (ok, what) => { if (!ok) { console.error(`FAIL: ${what}`); failed = true; } };
try {
  const page = await browser.newPage();
  await page.goto(url);
  check(await page.title() === 'Kesu 听写', 'page title');
  check((await page.locator('#rec').textContent()) === '按住说话？点一下开始', 'record button text at load');
  check(await page.locator('#send').isDisabled(), 'send disabled before recording');

  await page.locator('#file').setInputFiles(wav);
  await page.waitForFunction(() => {
    const v = document.getElementById('out').value;
    return v !== '' && v !== '识别中…';
  }, null, { timeout: 30000 });
  const text = await page.locator('#out').inputValue();
  const hint = await page.locator('#hint').textContent();
  check(text.length > 0 && !text.startsWith('（'), `recognised text, got "${text}" (hint "${hint}")`);
  check(/^用时 \d+ms/.test(hint), `timing hint, got "${hint}"`);
  const width = await page.evaluate(() => document.querySelector('main').getBoundingClientRect().width);
  check(width <= 560, `page width ${width}`);

  await page.screenshot({ path: `${outDir}/lan-page-light.png`, fullPage: true });
  await page.emulateMedia({ colorScheme: 'dark' });
  await page.screenshot({ path: `${outDir}/lan-page-dark.png`, fullPage: true });
  const dark = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  check(dark !== 'rgb(255, 255, 255)', `dark background, got ${dark}`);
} finally {
  await browser.close();
}
if (failed) process.exit(1);
console.log(`page test passed: screenshots in ${outDir}`);
