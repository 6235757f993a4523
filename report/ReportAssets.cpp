// What the page carries inline: it opens from disk with no network.
#include "ReportSections.h"

const char* const kReportStyle = R"CSS(
:root { color-scheme: light; --ink: #1d1d1f; --faint: #666; --rule: #d8d8d8; }
body { font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; color: var(--ink);
       margin: 0 auto; max-width: 1200px; padding: 0 20px 40px; }
h1 { font-size: 1.7em; margin: 0.8em 0 0.1em; }
h2 { font-size: 1.3em; border-bottom: 1px solid var(--rule); padding-bottom: 0.2em; margin-top: 1.8em; }
h3 { font-size: 1.05em; margin: 1.2em 0 0.4em; }
.written, .note { color: var(--faint); }
table { border-collapse: collapse; }
th, td { padding: 2px 8px; text-align: left; vertical-align: top; }
table.counts td:not(:first-child), table.counts th:not(:first-child) { text-align: right; }
table.counts tr:nth-child(even) td { background: #f4f4f6; }
table.counts tr.total td { font-weight: 600; border-top: 1px solid var(--rule); }
table.counts th { border-bottom: 1px solid var(--rule); }
.file { font-family: ui-monospace, monospace; font-size: 0.9em; color: var(--faint); word-break: break-all; }
svg.chart { max-width: 100%; height: auto; font-size: 12px; }
svg.chart text.label { text-anchor: end; }
.figures { display: grid; grid-template-columns: repeat(auto-fill, minmax(460px, 1fr)); gap: 18px; }
figure { margin: 0; }
figure.home { grid-column: 1 / -1; }
figure img { width: 100%; height: auto; background: #000; display: block; }
figcaption { color: var(--faint); font-size: 0.9em; margin-top: 4px; }
.controls { position: sticky; top: 0; background: #fff; padding: 8px 0; z-index: 2;
            border-bottom: 1px solid var(--rule); display: flex; flex-wrap: wrap; gap: 6px 14px; align-items: center; }
#filter { font: inherit; padding: 3px 8px; min-width: 18em; }
.toggle { white-space: nowrap; cursor: pointer; }
.swatch { display: inline-block; width: 0.8em; height: 0.8em; margin: 0 4px 0 2px; border-radius: 2px; }
#shown { color: var(--faint); margin-left: auto; }
table.rows { width: 100%; table-layout: fixed; font-size: 0.9em; }
table.rows th { cursor: pointer; user-select: none; border-bottom: 1px solid var(--rule); background: #fafafa; }
table.rows th[aria-sort="ascending"]::after { content: " \25B2"; }
table.rows th[aria-sort="descending"]::after { content: " \25BC"; }
table.rows th:nth-child(1) { width: 8%; } table.rows th:nth-child(2) { width: 8%; }
table.rows th:nth-child(3), table.rows th:nth-child(4) { width: 16%; }
table.rows th:nth-child(5) { width: 20%; }
table.rows td { border-bottom: 1px solid #eee; overflow-wrap: anywhere; }
table.rows td:nth-child(6) { color: var(--faint); }
table.rows tr.sum td { font-style: italic; }
details summary { cursor: pointer; color: var(--faint); }
section.kind { content-visibility: auto; contain-intrinsic-size: auto 600px; }
footer { margin-top: 3em; color: var(--faint); font-size: 0.85em; }
)CSS";

// Plain script: a filter over the rows' text, a toggle per kind, sorting by a column.
const char* const kReportScript = R"JS(
(function () {
  'use strict';
  var filter = document.getElementById('filter');
  var shown = document.getElementById('shown');
  if (!filter) return;
  var collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
  var groups = Array.prototype.map.call(document.querySelectorAll('section.kind'), function (section) {
    var tbody = section.querySelector('tbody');
    var rows = Array.prototype.slice.call(tbody.rows);
    return {
      section: section, table: section.querySelector('table'), tbody: tbody, rows: rows,
      texts: rows.map(function (r) { return r.textContent.toLowerCase(); }),
      count: section.querySelector('.count'),
      total: rows.length
    };
  });
  var all = groups.reduce(function (n, g) { return n + g.total; }, 0);

  function apply() {
    var q = filter.value.trim().toLowerCase();
    var visible = 0;
    groups.forEach(function (g) {
      var n = 0;
      for (var i = 0; i < g.rows.length; i++) {
        var show = !q || g.texts[i].indexOf(q) !== -1;
        if (g.rows[i].hidden === show) g.rows[i].hidden = !show;
        if (show) n++;
      }
      g.count.textContent = q ? n + ' of ' + g.total : String(g.total);
      // A kind with no row left shows its heading alone.
      g.table.hidden = !!q && n === 0;
      if (!g.section.hidden) visible += n;
    });
    shown.textContent = visible + ' of ' + all + ' rows shown';
  }

  var timer = 0;
  filter.addEventListener('input', function () {
    clearTimeout(timer);
    timer = setTimeout(apply, all > 5000 ? 200 : 0);
  });

  Array.prototype.forEach.call(document.querySelectorAll('input.kind-toggle'), function (box) {
    box.addEventListener('change', function () {
      var section = document.getElementById('kind-' + box.getAttribute('data-kind'));
      if (section) section.hidden = !box.checked;
      apply();
    });
  });

  function key(row, column) {
    var cell = row.cells[column];
    if (!cell) return '';
    var k = cell.getAttribute('data-k');
    return k !== null ? Number(k) : cell.textContent;
  }

  groups.forEach(function (g) {
    var heads = g.section.querySelectorAll('thead th');
    Array.prototype.forEach.call(heads, function (th, column) {
      th.addEventListener('click', function () {
        var ascending = th.getAttribute('aria-sort') !== 'ascending';
        Array.prototype.forEach.call(heads, function (h) { h.setAttribute('aria-sort', 'none'); });
        th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
        var order = g.rows.map(function (row, i) { return { row: row, text: g.texts[i], key: key(row, column), i: i }; });
        order.sort(function (a, b) {
          var c = typeof a.key === 'number' && typeof b.key === 'number'
            ? a.key - b.key : collator.compare(String(a.key), String(b.key));
          if (!ascending) c = -c;
          return c || a.i - b.i;
        });
        var fragment = document.createDocumentFragment();
        g.rows = order.map(function (o) { fragment.appendChild(o.row); return o.row; });
        g.texts = order.map(function (o) { return o.text; });
        g.tbody.appendChild(fragment);
      });
    });
  });

  apply();
})();
)JS";
