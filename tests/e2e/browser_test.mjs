// Walks the Quorvale Web Server as a visitor would, in Debian's Chromium run
// headless: main menu and logo, log-on, property search and paging, a
// property's tabs, a violation's detail, log-off. One screenshot per step.
//
// Usage: node browser_test.mjs BASE_URL SCREENSHOT_FOLDER [USER PASSWORD]
// With QV_E2E_MIDWALK set, that shell command runs once the property is open,
// before its tabs (the scale-out test stops a server there).
import { execSync } from 'node:child_process';
import { chromium } from 'playwright-core';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [baseUrl, shotFolder, user = 'demo', password = 'demo'] = process.argv.slice(2);
if (!baseUrl || !shotFolder) {
  console.error('usage: node browser_test.mjs BASE_URL SCREENSHOT_FOLDER [USER PASSWORD]');
  process.exit(2);
}
mkdirSync(shotFolder, { recursive: true });

// Texts that only a failure puts on a page.
const failureMarks = ['ISC ERROR CODE', 'Connection pool timeout', 'Internal Server Error'];

let passed = 0;
let failed = 0;
let skipped = 0;
let stopped = false;
let shotNumber = 0;

async function step(name, page, body) {
  if (stopped) {
    skipped++;
    console.log(`skip - ${name}`);
    return;
  }
  try {
    await body();
    passed++;
    console.log(`ok - ${name}`);
  } catch (error) {
    failed++;
    stopped = true;
    console.log(`not ok - ${name}: ${error.message}`);
  }
  shotNumber++;
  const file = join(shotFolder, `${String(shotNumber).padStart(2, '0')}-${name.replace(/[^a-z0-9]+/gi, '-')}.png`);
  await page.screenshot({ path: file, fullPage: true }).catch(() => {});
}

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// Waits for the page a click leads to and checks that it is a whole page.
async function follow(page, action) {
  const [response] = await Promise.all([page.waitForNavigation(), action()]);
  check(response && response.status() === 200, `status ${response && response.status()}`);
  await expectHealthyPage(page);
  return response;
}

async function expectHealthyPage(page) {
  const text = await page.content();
  for (const mark of failureMarks) check(!text.includes(mark), `page shows "${mark}"`);
}

async function bannerSaysLoggedIn(page) {
  return (await page.locator('a[href="/LOGOFF"]').count()) > 0;
}

async function propertyLinks(page) {
  return page.locator('a[href^="/propinfo?propid="]').evaluateAll((links) =>
    links.map((a) => ({ href: a.getAttribute('href'), name: a.textContent.trim() })));
}

const profile = mkdtempSync(join(tmpdir(), 'qv-e2e-profile-'));
// A fresh profile folder: the persistent context passes it as --user-data-dir.
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1100, height: 900 },
});
const page = await context.newPage();
page.setDefaultTimeout(20000);
const pageErrors = [];
page.on('pageerror', (error) => pageErrors.push(error.message));

let firstPageRows = [];
let property = null;

try {
  await step('main menu with logo', page, async () => {
    const response = await page.goto(baseUrl, { waitUntil: 'load' });
    check(response.status() === 200, `status ${response.status()}`);
    await expectHealthyPage(page);
    const logo = page.locator('img[name="Graphic1"]');
    check((await logo.count()) === 1, 'no logo image on the main menu');
    const width = await logo.evaluate((img) => img.complete ? img.naturalWidth : 0);
    check(width > 0, 'the logo image did not load');
    check(!(await bannerSaysLoggedIn(page)), 'a new visitor is shown as logged on');
  });

  await step('logged-out visitor gets the main menu for the list', page, async () => {
    await page.goto(new URL('/list', baseUrl).href);
    await expectHealthyPage(page);
    check((await propertyLinks(page)).length === 0, 'the list is shown without log-on');
  });

  await step('log on', page, async () => {
    await follow(page, () => page.click('a[href="/LOGON"]'));
    await page.fill('input[name="uName"]', user);
    await page.fill('input[name="uPass"]', password);
    await follow(page, () => page.click('input[name="B1"]'));
    check(await bannerSaysLoggedIn(page), 'not logged on after submitting the demo log-on');
  });

  await step('property list', page, async () => {
    await follow(page, () => page.click('a[href="/list"]'));
    firstPageRows = await propertyLinks(page);
    check(firstPageRows.length === 10, `expected ten rows, got ${firstPageRows.length}`);
  });

  await step('next page', page, async () => {
    await follow(page, () => page.click('a:has-text("Next Page")'));
    check(/page=2/i.test(page.url()), `next page went to ${page.url()}`);
    const rows = await propertyLinks(page);
    check(rows.length > 0, 'the second page is empty');
    const firstHrefs = new Set(firstPageRows.map((r) => r.href));
    check(rows.every((r) => !firstHrefs.has(r.href)), 'the second page repeats the first');
  });

  await step('search by property name', page, async () => {
    // The area list preselects an area; Refresh List applies it, and the search
    // then looks in that area.
    await follow(page, () => page.click('input[name="Refresh"]'));
    const inArea = await propertyLinks(page);
    check(inArea.length > 0, 'the preselected area lists no property');
    const wanted = inArea[0];
    const word = wanted.name.split(/\s+/).filter((w) => w.length > 0)[0];
    check(word, 'the property has no name to search for');
    await page.fill('input[name="SearchValue"]', word.toLowerCase());
    await follow(page, () => page.click('input[name="PropName"]'));
    const rows = await propertyLinks(page);
    check(rows.some((r) => r.href === wanted.href), `"${word}" did not find ${wanted.name}`);
    check(rows.every((r) => r.name.toUpperCase().startsWith(word.toUpperCase())),
      'the search shows properties whose name does not start with the search text');
    check((await page.inputValue('input[name="SearchValue"]')) === word.toLowerCase(),
      'the search box lost the search text');
  });

  let listPage = 1;
  await step('find a property with violations', page, async () => {
    // Ask each listed property's violation list until one has a violation to open.
    for (let n = 1; n <= 10 && !property; n++) {
      const list = await page.request.get(new URL(`/list?page=${n}`, baseUrl).href);
      const hrefs = [...(await list.text()).matchAll(/href="(\/propinfo\?propid=(\d+))"/g)];
      if (hrefs.length === 0) break;
      for (const [, href, id] of hrefs) {
        const response = await page.request.get(new URL(`/Violations?propid=${id}`, baseUrl).href);
        if ((await response.text()).includes('/vdetail?vid=')) {
          property = href;
          listPage = n;
          break;
        }
      }
    }
    check(property, 'no property with a violation on the first ten list pages');
  });

  await step('open a property', page, async () => {
    // Reach it from its list page, as a visitor would.
    await page.goto(new URL(`/list?page=${listPage}`, baseUrl).href);
    await expectHealthyPage(page);
    await follow(page, () => page.click(`a[href="${property}"]`));
    const text = await page.textContent('body');
    check(text.includes('Property Info'), 'no tab bar on the property page');
    check((await page.locator('a[href^="/Propinfo?propid="]').count()) === 0,
      'the Property Info tab is not marked as the current one');
  });

  if (process.env.QV_E2E_MIDWALK && !stopped) {
    console.log(`# mid-walk: ${process.env.QV_E2E_MIDWALK}`);
    execSync(process.env.QV_E2E_MIDWALK, { stdio: 'inherit' });
  }

  const tabs = [
    ['People', '/People?propid='],
    ['Access Info', '/Access?propid='],
    ['Notes', '/Notes?propid='],
    ['CPTED', '/Cpted?propid='],
    ['Authorizations', '/Auth?propid='],
    ['Violations', '/Violations?propid='],
  ];
  for (const [label, prefix] of tabs) {
    await step(`tab ${label}`, page, async () => {
      await follow(page, () => page.click(`a[href^="${prefix}"]`));
      // The current tab is shown as text, the others as links.
      check((await page.locator(`a[href^="${prefix}"]`).count()) === 0,
        `the ${label} tab is not marked as the current one`);
    });
  }

  await step('violation detail', page, async () => {
    await follow(page, () => page.click('a[href^="/vdetail?vid="]'));
    check(/vdetail\?vid=/i.test(page.url()), `went to ${page.url()}`);
    const text = await page.textContent('body');
    check(text.trim().length > 0, 'the violation detail is empty');
  });

  await step('log off', page, async () => {
    await follow(page, () => page.click('a[href="/LOGOFF"]'));
    check(!(await bannerSaysLoggedIn(page)), 'still logged on after Logoff');
    await page.goto(new URL('/list', baseUrl).href);
    check((await propertyLinks(page)).length === 0, 'the list is still shown after Logoff');
  });

  await step('no script errors', page, async () => {
    check(pageErrors.length === 0, pageErrors.join('; '));
  });
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}

const tail = skipped > 0 ? `, ${skipped} skipped` : '';
console.log(`browser: ${passed} passed, ${failed} failed${tail}`);
process.exit(failed === 0 ? 0 : 1);
