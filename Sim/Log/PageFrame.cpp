#include "Log/PageFrame.h"

#include "Log/Html.h"

namespace boardsim::log {
namespace {

// Nothing may be fetched: no scripts, styles, fonts or images from anywhere, not even from the
// page's own folder; inline styles and scripts only.
constexpr std::string_view kPolicy = "default-src 'none'; style-src 'unsafe-inline'; "
                                     "script-src 'unsafe-inline'; img-src data:";

constexpr std::string_view kStyle = R"(
:root { --fail: #c62828; --pass: #2e7d32; --ink: #1d2329; --muted: #5f6b76; --line: #d7dde3;
  --band: #f4f6f8; --link: #1f5fa8; }
* { box-sizing: border-box; }
body { margin: 0; padding: 16px 24px 48px; color: var(--ink); background: #fff;
  font: 14px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial,
  sans-serif; }
code, pre, td.mono, .trace td { font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas,
  monospace; font-size: 12.5px; }
a { color: var(--link); }
h1 { font-size: 22px; margin: 4px 0; }
h2 { font-size: 17px; margin: 28px 0 8px; padding-bottom: 4px; border-bottom: 1px solid var(--line); }
h3 { font-size: 14px; margin: 14px 0 6px; }
nav { margin-bottom: 8px; }
.description { color: var(--muted); margin: 0 0 8px; }
.badge { display: inline-block; min-width: 44px; padding: 1px 8px; border-radius: 3px;
  color: #fff; font-weight: 600; font-size: 12px; text-align: center; letter-spacing: .04em; }
.fail .badge, .badge.fail { background: var(--fail); }
.pass .badge, .badge.pass { background: var(--pass); }
header.verdict { border-left: 6px solid var(--pass); padding: 4px 0 4px 14px; }
header.verdict.fail { border-left-color: var(--fail); }
table { border-collapse: collapse; margin: 4px 0 8px; }
th, td { text-align: left; vertical-align: top; padding: 3px 10px 3px 0; }
thead th { font-weight: 600; border-bottom: 1px solid var(--line); color: var(--muted); }
tbody tr + tr td { border-top: 1px solid var(--band); }
table.facts th { color: var(--muted); font-weight: normal; padding-right: 16px; }
p.facts { display: flex; flex-wrap: wrap; gap: 2px 24px; margin: 6px 0 0; }
p.facts b { color: var(--muted); font-weight: normal; margin-right: 4px; }
caption { text-align: left; font-weight: 600; padding: 6px 0 2px; }
td pre { margin: 0; white-space: pre-wrap; }
.times { color: var(--muted); white-space: nowrap; }
tr.repeat td { background: var(--band); }
.notes { color: var(--muted); margin: 0 0 10px; }
.expect { border-left: 4px solid var(--fail); background: #fdf3f3; padding: 6px 12px;
  margin: 8px 0; }
.expect p { margin: 2px 0; }
.expect .what { font-weight: 600; }
.expect code { white-space: pre-wrap; word-break: break-all; }
.suite tbody tr.fail td { background: #fdf3f3; }
.suite tbody tr.fail td:first-child { box-shadow: inset 4px 0 var(--fail); }
.suite .why { color: var(--fail); max-width: 300px; }
.suite .clamp { display: -webkit-box; -webkit-line-clamp: 2; -webkit-box-orient: vertical;
  overflow: hidden; max-width: 400px; }
.suite td.count { white-space: nowrap; }
.suite .file { color: var(--muted); font-size: 12px; }
.picture { overflow-x: auto; border: 1px solid var(--line); padding: 4px 0; }
svg.boot { display: block; font-size: 11px; }
svg.boot text { fill: var(--ink); }
svg.boot .lane-bg { fill: #fff; }
svg.boot .lane:nth-child(even) .lane-bg { fill: var(--band); }
svg.boot .phase-rule { stroke: #9aa6b2; }
svg.boot .phase { fill: var(--muted); font-weight: 600; }
svg.boot .axis line { stroke: var(--ink); }
svg.boot .axis line.time { stroke-width: 3; }
svg.boot .axis line.order { stroke-width: 1.5; stroke-dasharray: 3 3; stroke: var(--muted); }
svg.boot .axis text { fill: var(--muted); }
svg.boot .item rect, svg.boot .item path, svg.boot .item circle { stroke: #fff; stroke-width: .5; }
svg.boot .entry rect { fill: #4c78a8; }
svg.boot .callback rect { fill: #54a24b; }
svg.boot .call rect { fill: #9d6fb0; }
svg.boot .open rect { stroke: var(--fail); stroke-width: 1.5; stroke-dasharray: 4 2; }
svg.boot .stall rect { fill: #6b7782; }
svg.boot .bmc_retries rect { fill: rgba(228, 87, 86, .22); stroke: rgba(200, 60, 60, .8);
  stroke-dasharray: 3 2; }
svg.boot .bmc_retries .inline { fill: #8a1f1f; font-size: 10px; }
svg.boot .steps rect { fill: #9aa6b2; }
svg.boot .smi circle { fill: #1f78b4; }
svg.boot .error_stop path { fill: var(--fail); }
svg.boot .fault path { stroke: #000; stroke-width: 2.5; fill: none; }
svg.boot .injected path { fill: #ff7f0e; }
svg.boot .expected path { fill: #fff; stroke: #7b3fa0; stroke-width: 2; }
svg.boot .ring { fill: none; stroke-width: 2.5; }
svg.boot .expect-held .ring { stroke: var(--pass); }
svg.boot .expect-failed .ring { stroke: var(--fail); }
svg.boot .inline { fill: #fff; pointer-events: none; }
svg.boot a.item:hover rect, svg.boot a.item:hover path, svg.boot a.item:hover circle {
  stroke: #000; stroke-width: 2; }
.legend { display: flex; flex-wrap: wrap; gap: 4px 18px; color: var(--muted); font-size: 12px;
  margin: 6px 0; }
.legend span::before { content: ""; display: inline-block; width: 12px; height: 10px;
  margin-right: 5px; vertical-align: -1px; background: var(--c); border-radius: 2px; }
.filters { display: flex; flex-wrap: wrap; gap: 8px 16px; align-items: center; margin: 6px 0; }
.filters select { max-width: 260px; }
.trace { width: 100%; }
.trace td { white-space: nowrap; padding-right: 12px; }
.trace td:last-child { white-space: normal; word-break: break-all; }
.trace tr.target td { background: #fff3b0; }
.trace tr.evidence-failed td:first-child { box-shadow: inset 4px 0 var(--fail); }
.trace tr.evidence-held td:first-child { box-shadow: inset 4px 0 var(--pass); }
)";

} // namespace

void PageStart(std::string &out, std::string_view title) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += kPolicy;
  out += "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscaped(out, title);
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n";
}

void PageEnd(std::string &out) {
  out += "</body>\n</html>\n";
}

const std::string_view kTraceScript = R"(
(() => {
  'use strict';
  const data = JSON.parse(document.getElementById('trace-data').textContent);
  const verdicts = JSON.parse(document.getElementById('trace-verdicts').textContent);
  const pageSize = 200;
  const filtered = { phase: 2, image: 3, ev: 4 }; // column of each filter
  const rows = document.getElementById('trace-rows');
  const status = document.getElementById('trace-status');
  const previous = document.getElementById('trace-previous');
  const next = document.getElementById('trace-next');
  const selects = {};
  let shown = data;
  let page = 0;

  for (const [key, column] of Object.entries(filtered)) {
    const select = document.getElementById('trace-' + key);
    const counts = new Map();
    for (const e of data) counts.set(e[column], (counts.get(e[column]) || 0) + 1);
    for (const [value, count] of counts) select.add(new Option(value + ' (' + count + ')', value));
    select.addEventListener('change', () => { apply(); page = 0; render(-1); });
    selects[key] = select;
  }

  function apply() {
    shown = data.filter(e => Object.entries(filtered).every(
        ([key, column]) => !selects[key].value || e[column] === selects[key].value));
  }

  function render(target) {
    const first = page * pageSize;
    const fragment = document.createDocumentFragment();
    for (const e of shown.slice(first, first + pageSize)) {
      const row = document.createElement('tr');
      row.id = 'e' + e[0];
      if (verdicts[e[0]]) row.className = 'evidence-' + verdicts[e[0]];
      if (e[0] === target) row.classList.add('target');
      for (const value of e) {
        const cell = document.createElement('td');
        cell.textContent = value;
        row.appendChild(cell);
      }
      fragment.appendChild(row);
    }
    rows.replaceChildren(fragment);
    const last = Math.min(first + pageSize, shown.length);
    status.textContent = shown.length === 0 ? 'no event matches' :
        'events ' + (first + 1) + '-' + last + ' of ' + shown.length +
        (shown.length < data.length ? ' (of ' + data.length + ' in the trace)' : '');
    previous.disabled = page === 0;
    next.disabled = last >= shown.length;
  }

  function jump(seq) {
    let at = shown.findIndex(e => e[0] === seq);
    if (at < 0) {
      for (const select of Object.values(selects)) select.value = '';
      apply();
      at = shown.findIndex(e => e[0] === seq);
    }
    if (at < 0) return;
    page = Math.floor(at / pageSize);
    render(seq);
    document.getElementById('e' + seq).scrollIntoView({ block: 'center' });
  }

  function fromHash() {
    const match = /^#e(\d+)$/.exec(location.hash);
    if (match) jump(Number(match[1]));
  }

  previous.addEventListener('click', () => { page--; render(-1); });
  next.addEventListener('click', () => { page++; render(-1); });
  // A link to the line already named in the address changes nothing the browser would report.
  document.addEventListener('click', event => {
    const link = event.target.closest('a[href^="#e"]');
    if (link && link.getAttribute('href') === location.hash) fromHash();
  });
  window.addEventListener('hashchange', fromHash);
  render(-1);
  fromHash();
})();
)";

} // namespace boardsim::log
