// Times d3-hierarchy's pack() on a tree exported by layout_bench as nested
// {"children": [...]} objects with "value": 1 on every leaf.
//   node pack.js TREE.json [RUNS]
// Prints one line per run and a final "pack median ms: X" line; only the pack call is
// timed (parsing, hierarchy() and sum() are done once, before).
"use strict";
const fs = require("fs");
const { performance } = require("perf_hooks");
const { hierarchy, pack } = require("d3-hierarchy");

const file = process.argv[2];
const runs = Number(process.argv[3] || 5);
if (!file) {
  console.error("usage: node pack.js TREE.json [RUNS]");
  process.exit(2);
}

const data = JSON.parse(fs.readFileSync(file, "utf8"));
const root = hierarchy(data).sum((d) => d.value || 0);
const layout = pack().size([0.9, 0.9]);

let nodes = 0;
root.each(() => ++nodes);
console.log(`nodes: ${nodes}`);

const times = [];
for (let i = 0; i < runs; ++i) {
  const t0 = performance.now();
  layout(root);
  const t1 = performance.now();
  times.push(t1 - t0);
  console.log(`run ${i + 1}: ${(t1 - t0).toFixed(1)} ms`);
}
times.sort((a, b) => a - b);
console.log(`pack median ms: ${times[Math.floor(times.length / 2)].toFixed(3)}`);
