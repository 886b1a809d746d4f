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

// What the browser itself printed, shown only when the sign-in fails.
const browserOutput = [];
const logger = {
  isEnabled: (name) => name === 'browser',
  log: (name, severity, message) => browserOutput.push(String(message)),
};

// The browser is not what is tested: one that dies before the page has loaded (a start-up crash
// on a loaded machine) is started once more. Anything after the page loaded is the product's.
class BrowserDied extends Error {}

async function openPage(profile) {
  let context;
  try {
    // The profile folder becomes the browser's --user-data-dir.
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync'],
      timeout: 30000,
      logger,
    });
  } catch (error) {
    throw new BrowserDied(`the browser did not start: ${error.message.split('\n')[0]}`);
  }
  let closed = false;
  context.on('close', () => { closed = true; });
  try {
    const page = context.pages()[0] ?? await context.newPage();
    const response = await page.goto(url, { timeout: 15000 });
    if (!response || !response.ok()) {
      throw new Error(`the sign-in page answered ${response ? response.status() : 'nothing'}`);
    }
    return { context, page };
  } catch (error) {
    const died = closed || /has been closed|crash|disconnected/i.test(error.message);
    await context.close().catch(() => {});
    if (died) {
      throw new BrowserDied(
          `the browser went away before the page loaded: ${error.message.split('\n')[0]}`);
    }
    throw error;
  }
}

async function signIn() {
  for (let attempt = 1; ; ++attempt) {
    // A profile of its own for every run: nothing from an earlier sign-in can answer for this one.
    const profile = mkdtempSync(join(tmpdir(), 'orvane-browser-'));
    let context;
    try {
      let page;
      ({ context, page } = await openPage(profile));
      await page.getByLabel(email).check();
      await Promise.all([page.waitForLoadState('load'),
                         page.getByRole('button', { name: 'Authorize' }).click()]);
      await page.getByText(`Signed in as ${email}.`).waitFor({ timeout: 15000 });
      return;
    } catch (error) {
      if (!(error instanceof BrowserDied) || attempt === 2) throw error;
      console.error(`${error.message}; starting it once more`);
    } finally {
      if (context) await context.close().catch(() => {});
      rmSync(profile, { recursive: true, force: true });
    }
  }
}

try {
  await signIn();
  // When, for whoever measures the sign-in: milliseconds since the epoch.
  console.log(`authorized at ${Date.now()} as ${email}`);
} catch (error) {
  console.error(`sign-in failed: ${error.message}`);
  if (browserOutput.length) console.error(`the browser printed:\n${browserOutput.join('\n')}`);
  process.exitCode = 1;
}
