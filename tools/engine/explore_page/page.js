// Draws an explorer page from the JSON it carries: a program's sources with
// the instructions of its builds beside them, or the index of every program.
"use strict";
(function () {
  const D = JSON.parse(document.getElementById("data").textContent);
  const app = document.getElementById("app");
  const status = document.getElementById("status");
  const S = D.strings || [];

  function el(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attrs || {})) {
      if (value === null || value === undefined || value === false) continue;
      if (key === "class") node.className = value;
      else if (key === "html") node.innerHTML = value;
      else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
      else node.setAttribute(key, value === true ? "" : value);
    }
    for (const child of children.flat()) {
      if (child === null || child === undefined || child === false) continue;
      node.append(child.nodeType ? child : document.createTextNode(String(child)));
    }
    return node;
  }
  const hex = (n) => "0x" + n.toString(16);
  const num = (n) => (n < 0 ? "\u2013" : n.toLocaleString("en"));
  const plural = (n, word) => `${num(n)} ${word}${n === 1 ? "" : "s"}`;
  const short = (file) => (file || "?").split("/").pop();
  const esc = (text) => String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;").replace(/"/g, "&quot;");

  if (D.kind === "index") index();
  else program();

  // --- a program's page ---------------------------------------------------
  function program() {
    const B = D.builds;
    const files = D.sources.map((s) => s.file);
    const main = 0;  // the program's own source comes first
    const state = { shown: new Set(), kinds: new Set(["passed", "missed"]), open: new Set() };
    const several = new Set(B.map((b) => b.folder)).size > 1;
    let rows = [];  // per build: the instruction elements by index
    let lineEls = new Map();  // "file:line" -> source line element
    const label = (b) => (several ? `${b.folder} \u00b7 ` : "") + b.build + (b.level ? ` (-${b.level})` : "");
    // A column's figure head: its build, with the folder's number where there are several.
    const folderNames = [...new Set(B.map((b) => b.folder))];
    const tag = (b) => (several ? `${folderNames.indexOf(b.folder) + 1}:` : "") + b.build;
    // The columns shown at first: every build where there are few, else the
    // first and the last of each folder.
    if (B.length <= 4) B.forEach((b, k) => state.shown.add(k));
    else {
      const folders = [...new Set(B.map((b) => b.folder))];
      for (const folder of folders) {
        const ks = B.map((b, k) => [b, k]).filter(([b]) => b.folder === folder).map(([, k]) => k);
        state.shown.add(ks[0]);
        state.shown.add(ks[ks.length - 1]);
      }
    }
    // Per build: the instructions of each line, by the line table ("own")
    // and by a call that inlined them ("via").
    for (const b of B) {
      b.own = new Map();
      b.via = new Map();
      b.ins.forEach((ins, k) => {
        const [, , , , , file, line, chain] = ins;
        if (file >= 0) push(b.own, `${file}:${line}`, k);
        const seen = new Set();
        for (const [, cfile, cline] of chain) {
          const key = `${cfile}:${cline}`;
          if (cfile < 0 || seen.has(key) || key === `${file}:${line}`) continue;
          seen.add(key);
          push(b.via, key, k);
        }
      });
      b.remarkAt = new Map();
      b.placeless = [];
      (b.remarks || []).forEach((r) => {
        if (r[3] >= 0 && r[4] > 0) push(b.remarkAt, `${r[3]}:${r[4]}`, r);
        else b.placeless.push(r);
      });
    }
    function push(map, key, value) {
      if (!map.has(key)) map.set(key, []);
      map.get(key).push(value);
    }

    const title = el("h1", {}, D.program, el("small", {}, files[main] || "", " \u2014 what each build made of each line"));
    const buildBoxes = el("span", { class: "group" }, el("b", {}, "Columns:"),
      B.map((b, k) => el("label", { title: b.executable }, el("input", {
        type: "checkbox", checked: state.shown.has(k), "data-build": k,
        onchange: (e) => { if (e.target.checked) state.shown.add(k); else state.shown.delete(k); drawWork(); },
      }), " " + label(b))));
    const kindBoxes = el("span", { class: "group" }, el("b", {}, "Remarks:"),
      ["passed", "missed", "analysis"].map((kind) => el("label", {}, el("input", {
        type: "checkbox", checked: state.kinds.has(kind), "data-kind": kind,
        onchange: (e) => { if (e.target.checked) state.kinds.add(kind); else state.kinds.delete(kind); drawWork(); },
      }), " " + kind)));
    const addrBox = el("label", {}, el("input", {
      type: "checkbox", id: "show-addr",
      onchange: (e) => document.body.classList.toggle("show-addr", e.target.checked),
    }), " addresses and bytes");
    const header = el("header", {}, title,
      el("div", { class: "controls" }, el("a", { href: "index.html" }, "\u2190 all programs"), buildBoxes, kindBoxes,
        addrBox, el("span", { class: "legend" }, el("span", { class: "sw own" }), "the line's own instructions",
          el("span", { class: "sw via" }), "inlined by a call on the line")));

    // What a reader must know, each said once for the builds it holds for.
    const said = new Map();
    const tell = (text, b) => { if (!said.has(text)) said.set(text, []); said.get(text).push(label(b)); };
    for (const b of B) {
      for (const note of b.notes) tell(note, b);
      if (b.profileNote) tell(b.profileNote, b);
      if (b.remarks === null) tell("no remarks of the compiler were recorded (no <executable>.remarks.jsonl beside the executable)", b);
    }
    const notes = [...said].map(([text, who]) => el("li", {}, (who.length === B.length && B.length > 1 ? "every build" : who.join(", ")) + ": " + text));
    D.sources.forEach((s) => { if (!s.lines) notes.push(el("li", {}, `source ${s.file} not found: its lines are shown by number only`)); });
    const input = B.find((b) => b.input);

    app.replaceChildren(...[header,
      notes.length ? el("section", { class: "top-notes" }, el("ul", { class: "notes" }, notes)) : null,
      el("div", { id: "work" }, el("div", { id: "source" }), el("div", { id: "cols" })),
      el("section", { class: "summary" }, codeTable(), routineTable()),
      diffSection(),
      el("div", { class: "pad" })].filter(Boolean));
    drawWork();

    function codeTable() {
      const rows = [
        ["functions", (b) => num(b.totals.functions)],
        ["instructions", (b) => (b.decodable ? num(b.totals.instructions) : "not decoded")],
        ["bytes of code", (b) => num(b.totals.bytes)],
        ["executed" + (input ? ` (${input.input})` : ""), (b) => (b.profiled ? num(b.totals.executed) : "not measured")],
        ["remarks passed / missed / analysis", (b) => (b.remarks === null ? "none recorded" :
          ["passed", "missed", "analysis"].map((k) => b.remarks.filter((r) => S[r[0]] === k).length).join(" / "))],
      ];
      return el("div", {}, el("h2", {}, "The program's code per build"),
        el("table", { class: "figures" }, el("tr", {}, el("th", { class: "name" }, ""), B.map((b) => el("th", { title: `${b.compiler || ""} ${b.flags || ""}` }, label(b)))),
          rows.map(([name, f]) => el("tr", {}, el("td", { class: "name" }, name), B.map((b) => el("td", {}, f(b)))))));
    }
    function routineTable() {
      return el("div", {}, el("h2", {}, "Where each routine went"),
        el("table", { class: "figures" }, el("tr", {}, el("th", { class: "name" }, "routine"), B.map((b) => el("th", {}, label(b)))),
          D.routines.map((name) => el("tr", {}, el("td", { class: "name" }, name), B.map((b) => {
            const r = b.routinesTable.find((x) => x.name === name);
            if (!r) return el("td", { class: "fate fate-gone" }, "\u2013");
            const cls = r.where === "gone" ? "fate-gone" : (r.where === "inlined" ? "fate-inlined" : "");
            return el("td", { class: "fate " + cls, title: r.inlinedBytes ? `${r.inlinedBytes} bytes of inlined copies` : null }, r.fate);
          })))));
    }

    // The source pane and the columns.
    function drawWork() {
      const shown = B.map((b, k) => k).filter((k) => state.shown.has(k));
      const source = document.getElementById("source");
      const cols = document.getElementById("cols");
      lineEls = new Map();
      source.replaceChildren(...D.sources.map((s, fi) => drawFile(s, fi, shown)).filter(Boolean));
      rows = B.map(() => []);
      cols.replaceChildren(...shown.map((k) => drawColumn(k)));
    }
    function figureOf(b, key) {
      const f = b.lines[key];
      if (!f) return el("span", { class: "fig none" }, "\u00b7");
      const [n, bytes, ir, viaN, viaIr] = f;
      const parts = [];
      if (n) parts.push(`${plural(n, "instruction")}, ${bytes} bytes` + (ir >= 0 ? `, executed ${num(ir)}` : ""));
      if (viaN) parts.push(`${plural(viaN, "instruction")} inlined by a call here` + (viaIr >= 0 ? `, executed ${num(viaIr)}` : ""));
      if (!b.decodable) return el("span", { class: "fig", title: `${label(b)}: ${bytes} bytes by the line table (not decoded)` }, `${bytes}B`);
      return el("span", { class: "fig", title: `${label(b)}: ${parts.join("; ")}` },
        n ? String(n) : "", viaN ? el("span", { class: "via" }, "+" + viaN) : "");
    }
    function drawFile(s, fi, shown) {
      const used = new Set();
      for (const k of shown) for (const key of Object.keys(B[k].lines)) if (key.startsWith(fi + ":")) used.add(+key.split(":")[1]);
      for (const b of B) for (const key of b.remarkAt.keys()) if (key.startsWith(fi + ":")) used.add(+key.split(":")[1]);
      if (fi !== main && !used.size) return null;
      const count = s.lines ? s.lines.length : Math.max(0, ...used);
      const head = el("h3", {}, s.file, el("span", { class: "sub" }, fi === main ? "  the program's source" :
        `  ${used.size} lines with instructions${s.lines ? "" : " (source not found)"}`));
      const figHead = el("div", { class: "figs-head" }, el("span", { class: "no" }),
        shown.map((k) => el("span", { class: "fig", title: `instructions per line: ${label(B[k])}` }, tag(B[k]))),
        el("span", { class: "what" }, "instructions per line, + those inlined by its calls"));
      const lines = [];
      for (let n = 1; n <= count; n++) {
        if ((!s.lines || s.outside) && !used.has(n)) continue;
        const key = `${fi}:${n}`;
        const has = shown.some((k) => B[k].lines[key]);
        const line = el("div", { class: "ln" + (has ? " has" : ""), "data-key": key },
          el("span", { class: "no" }, n),
          el("span", { class: "figs" }, shown.map((k) => figureOf(B[k], key))),
          el("span", { class: "code src", html: s.lines ? s.lines[n - 1] || " " : "<i>(source not found)</i>" }));
        const badge = remarkBadge(key, shown);
        if (badge) line.querySelector(".code").append(badge);
        line.addEventListener("mouseenter", () => lightLine(key, true));
        line.addEventListener("mouseleave", () => lightLine(key, false));
        lineEls.set(key, line);
        lines.push(line);
        if (state.open.has(key)) lines.push(remarkList(key, shown));
      }
      return el("div", { class: "file" }, head, figHead, lines);
    }
    function remarksAt(key, shown) {
      const found = [];
      for (const k of shown) for (const r of B[k].remarkAt.get(key) || []) if (state.kinds.has(S[r[0]])) found.push([k, r]);
      return found;
    }
    function remarkBadge(key, shown) {
      const found = remarksAt(key, shown);
      if (!found.length) return null;
      const missed = found.filter(([, r]) => S[r[0]] === "missed").length;
      return el("span", {
        class: "badge" + (missed === found.length ? " missed" : ""), title: "the compiler's remarks at this line: click to show",
        onclick: (e) => { e.stopPropagation(); if (state.open.has(key)) state.open.delete(key); else state.open.add(key); drawWork(); },
      }, plural(found.length, "remark"));
    }
    function remarkList(key, shown) {
      return el("div", { class: "remarks" }, remarksAt(key, shown).map(([k, r]) => el("div", { class: "remark" },
        el("span", { class: "k " + S[r[0]] }, `${label(B[k])} ${S[r[0]]}`), ` ${S[r[1]]} in ${S[r[2]]}: `,
        el("span", { class: "m" }, S[r[6]]))));
    }
    function drawColumn(k) {
      const b = B[k];
      const head = el("div", { class: "col-head", title: `${b.executable}: ${b.compiler || "?"} ${b.flags || ""} (${b.machine})` },
        el("b", {}, label(b)), " ",
        el("span", { class: "sub" }, b.decodable ? `${num(b.totals.instructions)} instr. \u00b7 ${num(b.totals.bytes)} B` : `${num(b.totals.bytes)} B`,
          b.profiled ? ` \u00b7 ${num(b.totals.executed)} run` : ""));
      const col = el("div", { class: "col", "data-build": k }, head);
      for (const note of b.notes) col.append(el("div", { class: "note" }, note));
      if (b.placeless.length) {
        const kinds = b.placeless.filter((r) => state.kinds.has(S[r[0]]));
        if (kinds.length) {
          // Drawn when opened: g++ leaves thousands without a line.
          const list = el("details", { class: "note" }, el("summary", {}, `${plural(kinds.length, "remark")} without a line`));
          list.addEventListener("toggle", () => {
            if (!list.open || list.childElementCount > 1) return;
            list.append(...kinds.slice(0, 400).map((r) => el("div", { class: "remark" }, el("span", { class: "k " + S[r[0]] }, S[r[0]]),
              ` ${S[r[1]]} in ${S[r[2]]}: `, el("span", { class: "m" }, S[r[6]]))),
            ...(kinds.length > 400 ? [el("div", {}, `\u2026 and ${kinds.length - 400} more in ${b.executable}.remarks.jsonl`)] : []));
          });
          col.append(list);
        }
      }
      // The rows as one piece of HTML: thousands of them draw at once.
      // The functions of the program's own source first (main and its
      // routines), then those of other files (common/suite.hpp's).
      const html = [];
      let fn = -1;
      const counts = new Map(), byFn = new Map();
      b.ins.forEach((ins, i) => {
        counts.set(ins[4], (counts.get(ins[4]) || 0) + 1);
        push(byFn, ins[4], i);
      });
      const order = [...byFn.keys()].sort((x, y) => {
        const ox = b.functions[x].file === files[main] ? 0 : 1, oy = b.functions[y].file === files[main] ? 0 : 1;
        return ox - oy || b.functions[x].ranges[0][0] - b.functions[y].ranges[0][0];
      });
      order.flatMap((f) => byFn.get(f)).forEach((i) => {
        const ins = b.ins[i];
        const [address, , bytes, text, f, file, line, chain, ir] = ins;
        if (f !== fn) {
          fn = f;
          const func = b.functions[f];
          html.push(`<div class="fn" title="${esc(func.symbols.join(", "))}">${esc(func.name)} <span class="sub">${func.size} B, ${counts.get(f)} instr.` +
            (func.file && func.file !== files[main] ? ` \u00b7 ${esc(short(func.file))}` : "") + "</span></div>");
        }
        let where = file < 0 ? "?" : (file === main ? String(line) : `${short(files[file])}:${line}`);
        if (chain.length) {
          const outer = chain[chain.length - 1];
          where += ` \u2190${outer[1] === main ? "" : short(files[outer[1]]) + ":"}${outer[2]}`;
        }
        html.push(`<div class="i${chain.length ? " inl" : ""}" data-i="${i}"><span class="ad">${hex(address)}</span>` +
          `<span class="by" title="${bytes}">${bytes}</span><span class="tx">${esc(text)}</span><span class="li">${esc(where)}</span>` +
          (b.profiled ? `<span class="ir${ir ? "" : " zero"}">${ir ? num(ir) : "0"}</span>` : "") + "</div>");
      });
      const body = el("div", { class: "rows", html: html.join("") });
      body.querySelectorAll(".i").forEach((row) => { rows[k][+row.dataset.i] = row; });
      body.addEventListener("mouseover", (e) => {
        const row = e.target.closest(".i");
        if (row && row !== body.current) {
          if (body.current) lightInstruction(k, +body.current.dataset.i, false);
          body.current = row;
          lightInstruction(k, +row.dataset.i, true);
        }
      });
      body.addEventListener("mouseleave", () => {
        if (body.current) lightInstruction(k, +body.current.dataset.i, false);
        body.current = null;
      });
      col.append(body);
      return col;
    }

    function reveal(container, node) {
      if (!container || !node) return;
      const top = node.offsetTop, bottom = top + node.offsetHeight;
      // Brought into the upper part of its pane, so that what follows shows too.
      if (top < container.scrollTop + 40 || bottom > container.scrollTop + container.clientHeight * 0.6) {
        container.scrollTop = Math.max(0, top - container.clientHeight / 5);
      }
    }
    function lightLine(key, on) {
      const said = [];
      for (const k of state.shown) {
        const b = B[k];
        const own = b.own.get(key) || [], via = b.via.get(key) || [];
        for (const i of own) rows[k][i] && rows[k][i].classList.toggle("own", on);
        for (const i of via) rows[k][i] && rows[k][i].classList.toggle("via", on);
        if (on) {
          let first = Infinity, top = Infinity;
          for (const i of own.concat(via)) if (rows[k][i] && rows[k][i].offsetTop < top) { top = rows[k][i].offsetTop; first = i; }
          if (first !== Infinity && rows[k][first]) reveal(rows[k][first].closest(".col"), rows[k][first]);
          said.push(`${b.build}: ${own.length}` + (via.length ? ` + ${via.length} inlined` : ""));
        }
      }
      const [fi, n] = key.split(":");
      status.textContent = on ? `${files[+fi]}:${n} \u2014 instructions ${said.join(", ")}` : "";
    }
    function lightInstruction(k, i, on) {
      const b = B[k];
      const [address, , , text, f, file, line, chain, ir] = b.ins[i];
      rows[k][i].classList.toggle("self", on);
      const own = lineEls.get(`${file}:${line}`);
      if (own) own.classList.toggle("own", on);
      for (const [, cfile, cline] of chain) {
        const via = lineEls.get(`${cfile}:${cline}`);
        if (via && via !== own) via.classList.toggle("via", on);
      }
      if (on) {
        reveal(document.getElementById("source"), own);
        const at = (fi, n) => (fi < 0 ? "?" : `${short(files[fi])}:${n}`);
        let text2 = `${label(b)} ${hex(address)}  ${text}  \u2014 ${at(file, line)}`;
        chain.forEach(([name, cfile, cline], depth) => {
          const into = depth + 1 < chain.length ? S[chain[depth + 1][0]] : b.functions[f].name;
          text2 += `  in ${S[name]}, inlined at ${at(cfile, cline)} into ${into}`;
        });
        if (!chain.length) text2 += `  in ${b.functions[f].name}`;
        if (b.profiled) text2 += `  \u00b7 executed ${num(ir)}`;
        status.textContent = text2;
      } else status.textContent = "";
    }

    // The difference of two builds, line by line.
    function diffSection() {
      const pick = (id, k0) => el("select", { id, onchange: drawDiff }, B.map((b, k) => el("option", { value: k, selected: k === k0 }, label(b))));
      // At first: b0 and the last build of one folder; with several, the
      // same build of the first two.
      let a = 0, b = B.length - 1;
      if (several) {
        const second = B.findIndex((x) => x.folder !== B[0].folder);
        b = B.findIndex((x, k) => k >= second && x.folder === B[second].folder && x.build === "b2");
        a = B.findIndex((x) => x.folder === B[0].folder && x.build === "b2");
        if (a < 0 || b < 0) { a = 0; b = second; }
      } else {
        b = B.length - 1;
      }
      const section = el("section", { class: "diff", id: "diff" }, el("h2", {}, "Two builds line by line"),
        el("div", {}, "Instructions per line of ", pick("diff-a", a), " and ", pick("diff-b", b),
          el("span", { class: "legend" }, "  (own instructions; the inlined ones in brackets)")),
        el("div", { id: "diff-table" }));
      setTimeout(drawDiff, 0);
      return section;
    }
    function drawDiff() {
      const a = B[+document.getElementById("diff-a").value], b = B[+document.getElementById("diff-b").value];
      const keys = new Set([...Object.keys(a.lines), ...Object.keys(b.lines)]);
      const sorted = [...keys].map((k) => k.split(":").map(Number)).sort((x, y) => x[0] - y[0] || x[1] - y[1]);
      const cell = (f) => (f ? String(f[0]) + (f[3] ? ` (+${f[3]})` : "") : "\u2013");
      const exec = (f, bld) => (!bld.profiled ? "\u2013" : f ? num(f[2] + (f[4] > 0 ? 0 : 0)) : "0");
      let more = 0, fewer = 0;
      const body = sorted.map(([fi, n]) => {
        const key = `${fi}:${n}`, fa = a.lines[key], fb = b.lines[key];
        const d = (fb ? fb[0] : 0) - (fa ? fa[0] : 0);
        if (d > 0) more++; else if (d < 0) fewer++;
        const s = D.sources[fi];
        const code = s && s.lines ? (s.lines[n - 1] || "").replace(/<[^>]*>/g, "").replace(/&lt;/g, "<").replace(/&gt;/g, ">").replace(/&amp;/g, "&").replace(/&quot;/g, '"').replace(/&#39;/g, "'") : "";
        return el("tr", {}, el("td", { class: "name" }, `${short(files[fi])}:${n}`), el("td", { class: "code" }, n ? code.trim() : "(line 0: code the compiler ties to no line)"),
          el("td", {}, cell(fa)), el("td", {}, cell(fb)),
          el("td", { class: d > 0 ? "delta-more" : d < 0 ? "delta-fewer" : "" }, d > 0 ? `+${d} more` : d < 0 ? `${d} fewer` : "="),
          el("td", {}, exec(fa, a)), el("td", {}, exec(fb, b)));
      });
      document.getElementById("diff-table").replaceChildren(
        el("p", { class: "legend" }, `${label(b)} has more instructions than ${label(a)} on ${plural(more, "line")} and fewer on ${plural(fewer, "line")}.`),
        el("table", { class: "figures diff-table" }, el("tr", {}, el("th", { class: "name" }, "line"), el("th", {}, "source"),
          el("th", {}, label(a)), el("th", {}, label(b)), el("th", {}, "difference"), el("th", {}, `executed ${a.build}`), el("th", {}, `executed ${b.build}`)), body));
    }
  }

  // --- the index -----------------------------------------------------------
  function index() {
    const F = D.folders;
    const several = F.length > 1;
    const header = el("header", {}, el("h1", {}, "What each build made of each line",
      el("small", {}, several ? `${F.length} folders compared` : F[0] ? F[0].path : "")),
      el("div", { class: "controls" }, "A page per program: its source beside the instructions of every build, tied line by line."));
    const folders = el("section", {}, el("h2", {}, "Folders"), el("table", { class: "figures" },
      el("tr", {}, el("th", { class: "name" }, "label"), el("th", { class: "name" }, "folder"), el("th", { class: "name" }, "compiler"), el("th", { class: "name" }, "machine")),
      F.map((f) => el("tr", {}, el("td", { class: "name" }, f.label), el("td", { class: "name" }, f.path), el("td", { class: "name" }, f.compiler || "?"), el("td", { class: "name" }, f.machine || "?")))));
    const warnings = D.warnings.length ? el("section", {}, el("h2", {}, "What could not be read"), el("ul", { class: "notes" }, D.warnings.map((w) => el("li", {}, w)))) : null;
    const programs = D.programs.map((p) => {
      const cols = p.builds;
      const head = el("tr", {}, el("th", { class: "name" }, ""), cols.map((b) => el("th", { title: b.executable }, (several ? F[b.folder].label + " \u00b7 " : "") + b.build + (b.level ? ` (-${b.level})` : ""))));
      // Against the same build of the first folder, where there are several.
      const base = (b) => (b.folder > 0 ? cols.find((x) => x.folder === 0 && x.build === b.build) : null);
      const delta = (value, other) => {
        if (other === null || other === undefined || value < 0 || other < 0) return null;
        const d = value - other;
        return d ? el("span", { class: d > 0 ? "delta-more" : "delta-fewer" }, ` (${d > 0 ? "+" : "\u2212"}${num(Math.abs(d))})`) : el("span", { class: "legend" }, " (=)");
      };
      const figure = (name, get) => el("tr", {}, el("td", { class: "name" }, name), cols.map((b) => {
        const v = get(b), o = base(b);
        return el("td", {}, v < 0 ? "\u2013" : num(v), o ? delta(v, get(o)) : null);
      }));
      const fates = p.routines.map((r) => el("tr", {}, el("td", { class: "name" }, r), cols.map((b) => {
        const x = b.routines[r];
        if (!x) return el("td", { class: "fate fate-gone" }, "\u2013");
        const o = base(b), ox = o && o.routines[r];
        const differs = ox && ox.where !== x.where;  // kept, inlined or gone: not the size
        return el("td", { class: "fate" + (x.fate === "gone" ? " fate-gone" : x.fate.startsWith("inlined") ? " fate-inlined" : ""), title: differs ? `${F[0].label}: ${ox.fate}` : null },
          x.fate, differs ? el("span", { class: "delta-more" }, " \u2260") : null);
      })));
      const remarks = el("tr", {}, el("td", { class: "name" }, "remarks passed/missed/analysis"), cols.map((b) =>
        el("td", {}, b.remarks ? `${num(b.remarks.passed)} / ${num(b.remarks.missed)} / ${num(b.remarks.analysis)}` : "none recorded")));
      const notes = [];
      for (const b of cols) for (const n of b.notes) notes.push(el("li", {}, `${b.executable}${several ? " (" + F[b.folder].label + ")" : ""}: ${n}`));
      return el("section", {}, el("h2", {}, el("a", { href: `${p.name}.html` }, p.name)),
        notes.length ? el("ul", { class: "notes" }, notes) : null,
        el("table", { class: "figures" }, head,
          figure("instructions of its code", (b) => b.instructions),
          figure("bytes of its code", (b) => b.bytes),
          figure("executed (sample input)", (b) => b.executed),
          remarks, fates));
    });
    app.replaceChildren(...[header, folders, warnings, ...programs, el("div", { class: "pad" })].filter(Boolean));
  }
})();
