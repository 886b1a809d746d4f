// Opens a sign-in page in the system's headless browser and authorizes it as one user, the way a
// person would: picks the user's choice and presses Authorize.
// Usage: node sign_in_browser.mjs URL EMAIL
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const [url, email] = process.argv.slice(2);
if (!url || !email) {
  console.error('usage: node sign_in_browser.mjs URL EMAIL');
  process.exit(2);
}

// A profile of its own for every run: nothing from an earlier sign-in can answer for this one.
const profile = mkdtempSync(join(tmpdir(), 'orvane-browser-'));
let browser;
try {
  // The profile folder becomes the browser's --user-data-dir.
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    timeout: 30000,
  });
  const page = browser.pages()[0] ?? await browser.newPage();
  await page.goto(url, { timeout: 15000 });
  await page.getByLabel(email).check();
  await Promise.all([page.waitForLoadState('load'), page.getByRole('button', { name: 'Authorize' }).click()]);
  await page.getByText(`Signed in as ${email}.`).waitFor({ timeout: 15000 });
  // When, for whoever measures the sign-in: milliseconds since the epoch.
  console.log(`authorized at ${Date.now()} as ${email}`);
} catch (error) {
  console.error(`sign-in failed: ${error.message}`);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
