// Walks every data page of a running server in both forms: each JSON answer
// is validated against the OpenAPI description's schema for its path and
// status, each HTML answer must have the bytes of the same request without
// the JSON Accept header. Then: a visitor not logged on gets 401, a record
// not there 404, an id that is no number 400, the list as CSV read back by a
// standard reader, and (after the database server is stopped) a JSON or CSV
// request is answered 503 with a problem.
//   node api_test.mjs BASE_URL OPENAPI_JSON USER PASSWORD DATABASE_SERVER_PID
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { Validator } from "@seriousme/openapi-schema-validator";
import Ajv2020 from "ajv/dist/2020.js";
import addFormats from "ajv-formats";

const [base, documentFile, user, password, databasePid] = process.argv.slice(2);
const openapi = JSON.parse(readFileSync(documentFile, "utf8"));
const jsonAccept = "application/json";
const browserAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

let passed = 0;
let failed = 0;
function check(ok, what) {
  if (ok) {
    passed++;
  } else {
    failed++;
    console.log(`not ok - ${what}`);
  }
}

const documentCheck = await new Validator().validate(documentFile);
check(documentCheck.valid, `the OpenAPI description is valid: ${JSON.stringify(documentCheck.errors)}`);

const ajv = new Ajv2020({ strict: false, allErrors: true });
addFormats(ajv);
ajv.addSchema(openapi, "openapi.json");

// The schema the description gives the path's answer of that status and type.
function schemaFor(path, status, type) {
  const response = openapi.paths[path]?.get?.responses?.[String(status)];
  const ref = response?.content?.[type]?.schema?.$ref;
  return ref ? ajv.getSchema("openapi.json" + ref) : undefined;
}

async function get(target, accept, cookie) {
  const headers = {};
  if (accept) headers.Accept = accept;
  if (cookie) headers.Cookie = cookie;
  const answer = await fetch(base + target, { headers, redirect: "manual" });
  return { status: answer.status, headers: answer.headers, bytes: Buffer.from(await answer.arrayBuffer()) };
}

// A JSON answer of that status, valid against the description; its value.
function validJson(target, answer, status) {
  const path = "/" + target.replace(/^\//, "").split("?")[0].toLowerCase();
  const problem = status !== 200;
  const type = problem ? "application/problem+json" : "application/json";
  check(answer.status === status, `${target}: status ${answer.status}, expected ${status}`);
  check(answer.headers.get("content-type") === `${type}; charset=utf-8`,
        `${target}: Content-Type ${answer.headers.get("content-type")}`);
  let value;
  try {
    value = JSON.parse(new TextDecoder("utf-8", { fatal: true }).decode(answer.bytes));
  } catch (error) {
    check(false, `${target}: the body is no UTF-8 JSON: ${error}`);
    return undefined;
  }
  const validate = schemaFor(path, status, type);
  check(validate !== undefined, `${target}: the description has no ${status} ${type} answer`);
  if (validate && !validate(value)) {
    check(false, `${target}: ${ajv.errorsText(validate.errors)}`);
  } else {
    passed++;
  }
  return value;
}

// The page in both forms: the HTML with and without a browser's Accept
// header byte for byte the same (taken again once if the banner's minute
// turned between them), then the JSON.
async function both(target, cookie) {
  let plain;
  let browser;
  for (let attempt = 0; attempt < 2; attempt++) {
    plain = await get(target, "", cookie);
    browser = await get(target, browserAccept, cookie);
    if (plain.bytes.equals(browser.bytes)) break;
  }
  check(plain.status === 200 && plain.headers.get("content-type") === "text/html; charset=ISO-8859-1",
        `${target}: the HTML page (${plain.status} ${plain.headers.get("content-type")})`);
  check(plain.bytes.equals(browser.bytes), `${target}: the HTML bytes differ with the browser's Accept`);
  return validJson(target, await get(target, jsonAccept, cookie), 200);
}

async function logOn() {
  const answer = await fetch(base + "dologin", {
    method: "POST",
    headers: { "Content-Type": "application/x-www-form-urlencoded" },
    body: `uName=${encodeURIComponent(user)}&uPass=${encodeURIComponent(password)}&B1=Submit`,
    redirect: "manual",
  });
  await answer.arrayBuffer();
  const cookie = (answer.headers.get("set-cookie") || "").split(";")[0];
  check(cookie.startsWith("IDHTTPSESSIONID="), "the log-on gives a session cookie");
  return cookie;
}

// Logged out: 401 with a problem, the browser its start page.
for (const target of ["", "list", "propinfo?propid=1"]) {
  validJson("/" + target, await get(target, jsonAccept), 401);
}
validJson("/list", await get("list", "text/csv"), 401);

const cookie = await logOn();
await both("", cookie);
const lists = [];
const first = await both("list", cookie);
lists.push(first);
lists.push(await both("list?page=2", cookie));
if (first?.areas?.length) {
  lists.push(await both(`list?AreaName=${encodeURIComponent(first.areas[0].name)}`, cookie));
}
if (first?.properties?.length) {
  const name = first.properties[0].name.slice(0, 3);
  lists.push(await both(`list?SearchValue=${encodeURIComponent(name)}&PropName=a&AreaName=`, cookie));
  lists.push(await both(`list?SearchValue=Street&Address=a&AreaName=ALL&page=2`, cookie));
}

// The list as CSV: every row the search matches, read back by Python's csv
// module (strict, UTF-8); its first rows are the JSON list's first page.
const csvAccept = "text/csv";
const csvHeader = ["id", "name", "address1", "address2", "city", "state", "zipcode", "units"];
function csvRows(target, answer) {
  check(answer.status === 200, `${target} as CSV: status ${answer.status}`);
  check(answer.headers.get("content-type") === "text/csv; charset=utf-8; header=present",
        `${target} as CSV: Content-Type ${answer.headers.get("content-type")}`);
  check(answer.headers.get("content-disposition") === 'attachment; filename="properties.csv"',
        `${target} as CSV: Content-Disposition ${answer.headers.get("content-disposition")}`);
  check(answer.headers.get("cache-control") === "no-store", `${target} as CSV: Cache-Control`);
  try {
    return JSON.parse(execFileSync("python3", ["-c",
      "import csv, io, json, sys\n" +
      "text = sys.stdin.buffer.read().decode('utf-8', 'strict')\n" +
      "json.dump(list(csv.reader(io.StringIO(text, newline=''), strict=True)), sys.stdout)"],
      { input: answer.bytes, maxBuffer: 1 << 30 }).toString());
  } catch (error) {
    check(false, `${target} as CSV: no UTF-8 RFC 4180 text: ${error}`);
    return [];
  }
}
{
  const rows = csvRows("list", await get("list", csvAccept, cookie));
  check(JSON.stringify(rows[0]) === JSON.stringify(csvHeader), "list as CSV: the header row");
  check(rows.slice(1).every((row) => row.length === 8 && /^[0-9]+$/.test(row[0])),
        "list as CSV: eight fields a row, an id first");
  check(rows.length - 1 >= (first?.properties?.length ?? 0), `list as CSV: ${rows.length - 1} rows`);
  check(JSON.stringify(rows.slice(1, 11).map((row) => Number(row[0]))) ===
        JSON.stringify((first?.properties ?? []).map((p) => p.id)),
        "list as CSV: the list's first page first");
  console.log(`# list as CSV: ${rows.length - 1} properties`);
}
if (first?.properties?.length) {
  const prefix = first.properties[0].name.slice(0, 3);
  const target = `list?SearchValue=${encodeURIComponent(prefix)}&PropName=a&AreaName=`;
  const rows = csvRows(target, await get(target, csvAccept, cookie));
  check(rows.length > 1 && rows.slice(1).every((row) => row[1].toUpperCase().startsWith(prefix.toUpperCase())),
        `${target} as CSV: every name starts with ${prefix}`);
}

// Every tab of the first properties listed, and every violation of theirs.
const ids = [...new Set(lists.flatMap((list) => list?.properties ?? []).map((p) => p.id))].slice(0, 8);
check(ids.length > 0, "the list names properties");
let violationsSeen = 0;
for (const id of ids) {
  for (const tab of ["propinfo", "people", "access", "notes", "cpted", "auth"]) {
    await both(`${tab}?propid=${id}`, cookie);
  }
  const violations = await both(`violations?propid=${id}`, cookie);
  for (const violation of violations?.violations ?? []) {
    violationsSeen++;
    const detail = await both(`vdetail?vid=${violation.id}`, cookie);
    check(detail?.violation?.id === violation.id, `vdetail?vid=${violation.id}: the violation asked for`);
  }
}
console.log(`# ${ids.length} properties and ${violationsSeen} violations walked`);

// Records not there, ids that are no numbers.
for (const [target, status] of [["propinfo?propid=2147483647", 404], ["notes?propid=2147483647", 404],
                                ["vdetail?vid=2147483647", 404], ["people?propid=abc", 400],
                                ["vdetail", 400], ["list?page=x", 400]]) {
  validJson("/" + target, await get(target, jsonAccept, cookie), status);
}

// The database server stopped: 503, Retry-After, a problem.
if (databasePid) {
  process.kill(Number(databasePid), "SIGKILL");
  await new Promise((resolve) => setTimeout(resolve, 500));
  const answer = await get("list", jsonAccept, cookie);
  validJson("/list", answer, 503);
  check(answer.headers.get("retry-after") === "5", `Retry-After ${answer.headers.get("retry-after")}`);
  const csv = await get("list", "text/csv", cookie);
  validJson("/list", csv, 503);
  check(csv.headers.get("retry-after") === "5", `CSV: Retry-After ${csv.headers.get("retry-after")}`);
}

console.log(`api: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
