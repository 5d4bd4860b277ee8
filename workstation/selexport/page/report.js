// The report's script. The records come as columns in the data (the texts of the
// script elements of class sel-data, joined: long texts load faster in pieces): each
// column a JSON array or a string of one character a record, the texts interned and
// carried apart (sel-texts), the messages' patterns too (sel-groups). From
// them it draws the timeline, the counts, the stores, the repeating messages and the
// rows in view, and keeps the filters in the URL's fragment so that a link opens the
// same view. Everything from the data is set as text, never parsed as HTML.
(function () {
  'use strict';
  var DAY = 86400;
  var GAP = 30 * DAY;        // a clock that jumps farther than this starts a new part
  var SHARE = 0.01;          // parts with fewer of the records are listed, not drawn
  var PARTS_MAX = 8;
  var MARGIN = 15;           // rows drawn above and below those in view
  var TOP = 20;              // repeating messages listed
  var SHIFT = 2097152;       // 2^21: a record's index packed below a sort key
  var OFFSET = 2147483648;   // makes a 32-bit signed key unsigned
  var STEPS = [60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, DAY, 2 * DAY,
    7 * DAY, 14 * DAY, 30 * DAY, 91 * DAY, 365 * DAY];
  var TICKS = [600, 900, 1800, 3600, 7200, 10800, 21600, 43200, DAY, 2 * DAY, 7 * DAY,
    14 * DAY, 30 * DAY, 91 * DAY, 365 * DAY];
  var COLOURS = ['#9e9e9e', '#1e88e5', '#f9a825', '#e53935', '#8e24aa', '#212121'];
  var SVG = 'http://www.w3.org/2000/svg';

  function byId(id) { return document.getElementById(id); }
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function svg(tag, attrs) {
    var e = document.createElementNS(SVG, tag);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    return e;
  }
  // 100,000: the digits in groups of three (the locale's own would load its data first).
  function num(n) {
    var s = String(Math.abs(n)), k = s.length % 3, out = s.slice(0, k);
    for (; k < s.length; k += 3) out += (out ? ',' : '') + s.slice(k, k + 3);
    return (n < 0 ? '-' : '') + out;
  }
  function pad(n) { return n < 10 ? '0' + n : '' + n; }
  // "2025-12-06 12:48:00" for seconds of the page's zone taken as UTC.
  function stamp(local) {
    var d = new Date(local * 1000);
    return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1) + '-' + pad(d.getUTCDate()) +
      ' ' + pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes()) + ':' + pad(d.getUTCSeconds());
  }
  function dayText(local) { return stamp(local).slice(0, 10); }
  function iso(utc) { return stamp(utc).replace(' ', 'T') + 'Z'; }

  // The texts of the data's elements of a class, in their order.
  function pieces(cls) {
    return Array.prototype.map.call(document.querySelectorAll('script.' + cls),
      function (e) { return e.textContent; });
  }
  var D = JSON.parse(pieces('sel-data').join(''));
  // The texts as they came, D.piece of them an element, each ended by END and its '<'
  // written as LT (so that none can end its element): no JSON to read, and a piece is
  // only cut into its texts when one of them is first shown or searched.
  var END = '\x1e', LT = /\x1c/g;
  var RAW = pieces('sel-texts'), TEXTS = [];
  function piece(p) {
    if (!TEXTS[p]) {
      RAW[p] = RAW[p].replace(LT, '<');
      TEXTS[p] = RAW[p].split(END);
      TEXTS[p].pop();
    }
    return TEXTS[p];
  }
  var R = columns(D);
  var N = R.n;
  var ZONE = D.zone;
  var SEVERAL = D.stores.length > 1;
  // The stores are the modules of a collector's file: the table of them is the fleet's.
  var UNIT = D.fleet ? 'Module' : 'Store';
  var F = {store: -1, sev: 0, exact: false, type: -1, q: '', from: -Infinity, to: Infinity};
  var V = {order: null, shown: new Uint32Array(N), count: 0, sort: '', desc: false,
    first: -1, narrow: false, hash: '', hits: null, hitsFor: null, storeSort: D.fleet ? -1 : 1, storeDesc: true, chart: null};

  // The columns as typed arrays: times and ids come as differences from the record
  // before, severities and types as one character a record ('0' + value), texts and
  // messages as 0 for the next one not met before.
  function columns(d) {
    var n = d.text.length, r = {n: n}, i, k, at = 0;
    r.t = new Int32Array(n); r.id = new Int32Array(n); r.sev = new Uint8Array(n);
    r.type = new Uint8Array(n); r.text = new Uint32Array(n); r.store = new Uint16Array(n);
    r.local = new Float64Array(n);
    var t = 0, id = 0, next = 0;
    for (i = 0; i < n; i++) {
      t = (t + d.t[i]) | 0; id = (id + d.id[i]) | 0;
      r.t[i] = t; r.id[i] = id; r.local[i] = t;
      r.sev[i] = d.sev.charCodeAt(i) - 48; r.type[i] = d.type.charCodeAt(i) - 48;
      r.text[i] = d.text[i] ? d.text[i] - 1 : next++;
    }
    for (k = 0, at = 0; k < d.stores.length; k++) {
      r.store.fill(k, at, at + d.stores[k].n);
      at += d.stores[k].n;
    }
    var off = d.off || [];
    for (k = 0, at = 0; k < off.length; k += 2) {
      for (i = at; i < at + off[k]; i++) r.local[i] += off[k + 1];
      at += off[k];
    }
    var sorted = true;
    for (i = 1; i < n && sorted; i++) sorted = r.t[i - 1] <= r.t[i];
    r.byTime = sorted ? identity(n) : sortBy(n, function (i) { return r.t[i] + OFFSET; });
    r.ts = new Float64Array(n);
    for (i = 0; i < n; i++) r.ts[i] = r.t[r.byTime[i]];
    return r;
  }
  function identity(n) {
    var out = new Uint32Array(n);
    for (var i = 0; i < n; i++) out[i] = i;
    return out;
  }
  function textOf(k) { return piece(Math.floor(k / D.piece))[k % D.piece] || ''; }
  function textAt(i) { return textOf(R.text[i]); }

  // The record indexes ordered by an unsigned 32-bit key, ties in their own order: the
  // key and the index packed into one number that a typed array sorts by value.
  function sortBy(n, key) {
    var out = new Uint32Array(n), i;
    if (n >= SHIFT) {
      for (i = 0; i < n; i++) out[i] = i;
      return out.sort(function (a, b) { return key(a) - key(b) || a - b; });
    }
    var packed = new Float64Array(n);
    for (i = 0; i < n; i++) packed[i] = key(i) * SHIFT + i;
    packed.sort();
    for (i = 0; i < n; i++) out[i] = packed[i] % SHIFT;
    return out;
  }

  // The zone's offset near a time: that of the record nearest to it.
  function offsetNear(utc) {
    if (!D.off || N === 0) return 0;
    var lo = 0, hi = N - 1;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (R.ts[mid] < utc) lo = mid + 1; else hi = mid;
    }
    var i = R.byTime[lo];
    return R.local[i] - R.t[i];
  }
  function utcOf(local) { return local - offsetNear(local - offsetNear(local)); }

  // "2025-12-06", "2025-12-06 12:00", "2025-12-06T12:00:00Z", "...+01:00": seconds
  // (UTC), a date alone standing for its first or (`end`) its last second; the page's
  // zone where no offset is given. NaN when none of these.
  function parseTime(text, end) {
    var m = /^(\d{4})-(\d\d)-(\d\d)(?:[T t](\d\d):(\d\d)(?::(\d\d))?)?\s*(Z|z|[+-]\d\d(?::?\d\d)?)?$/
      .exec(text.trim());
    if (!m) return NaN;
    var local = Date.UTC(+m[1], +m[2] - 1, +m[3], +(m[4] || 0), +(m[5] || 0), +(m[6] || 0)) / 1000;
    if (m[4] === undefined && end) local += DAY - 1;
    if (!m[7]) return utcOf(local);
    if (/^z$/i.test(m[7])) return local;
    var sign = m[7][0] === '-' ? -1 : 1, digits = m[7].replace(/\D/g, '');
    return local - sign * (+digits.slice(0, 2) * 3600 + +(digits.slice(2) || 0) * 60);
  }

  // Indexes of labels, for the fragment's and the form's values.
  function indexOf(list, label, key) {
    for (var k = 0; k < list.length; k++) if ((key ? list[k][key] : list[k]) === label) return k;
    return -1;
  }

  // The fragment: store, sev (at least), sevx (exactly), type, q, from, to; values
  // percent-encoded, the last of a repeated key winning, other keys ignored.
  function readHash() {
    var f = {store: -1, sev: 0, exact: false, type: -1, q: '', from: -Infinity, to: Infinity};
    location.hash.replace(/^#/, '').split('&').forEach(function (pair) {
      var at = pair.indexOf('='), key = pair.slice(0, at), value;
      if (at < 0) return;
      try { value = decodeURIComponent(pair.slice(at + 1).replace(/\+/g, ' ')); } catch (e) { return; }
      if (key === 'store') f.store = indexOf(D.stores, value, 'label');
      else if (key === 'sev' || key === 'sevx') {
        var s = indexOf(D.sevs, value);
        if (s >= 0) { f.sev = s; f.exact = key === 'sevx'; }
      } else if (key === 'type') f.type = indexOf(D.types, value);
      else if (key === 'q') f.q = value;
      else if (key === 'from' || key === 'to') {
        var when = parseTime(value, key === 'to');
        if (!isNaN(when)) f[key] = when;
      }
    });
    return f;
  }

  function hashOf(f) {
    var parts = [];
    function add(key, value) { parts.push(key + '=' + encodeURIComponent(value)); }
    if (f.store >= 0) add('store', D.stores[f.store].label);
    if (f.sev > 0 || f.exact) add(f.exact ? 'sevx' : 'sev', D.sevs[f.sev]);
    if (f.type >= 0) add('type', D.types[f.type]);
    if (f.q) add('q', f.q);
    if (f.from > -Infinity) add('from', iso(f.from));
    if (f.to < Infinity) add('to', iso(f.to));
    return parts.length ? '#' + parts.join('&') : '';
  }

  function writeHash() {
    var hash = hashOf(F);
    if (hash === V.hash) return;
    V.hash = hash;
    history.replaceState(null, '', hash || location.pathname + location.search);
  }

  // Which texts hold the text asked for, any case: one search through each piece of the
  // texts, going on from the end of each text found (`end`: where the t-th text ends).
  function textHits() {
    if (!F.q) return null;
    if (V.hitsFor === F.q) return V.hits;
    var hits = new Uint8Array(D.texts), m;
    var re = new RegExp(F.q.replace(/[\\^$.*+?()[\]{}|]/g, '\\$&'), 'gi');
    for (var p = 0; p < RAW.length; p++) {
      var list = piece(p), t = 0, end = list.length ? list[0].length : 0;
      re.lastIndex = 0;
      while (t < list.length && (m = re.exec(RAW[p])) !== null) {
        while (end < m.index && ++t < list.length) end += 1 + list[t].length;
        if (t === list.length) break;
        hits[p * D.piece + t] = 1;
        re.lastIndex = end + 1;
        if (++t < list.length) end += 1 + list[t].length;
      }
    }
    V.hits = hits; V.hitsFor = F.q;
    return hits;
  }

  // The records that pass, in the table's order.
  function filter() { V.count = scan(V.shown, F.store); }
  // Puts into `out` the records that pass every filter but the store's and are of
  // `store` (any, if -1); returns how many.
  function scan(out, store) {
    var hits = textHits(), order = V.order, m = 0;
    var from = F.from, to = F.to, sev = F.sev, exact = F.exact, type = F.type;
    for (var k = 0; k < N; k++) {
      var i = order ? order[k] : k, s = R.sev[i], t = R.t[i];
      if (t < from || t > to || (exact ? s !== sev : s < sev)) continue;
      if ((type >= 0 && R.type[i] !== type) || (hits && !hits[R.text[i]])) continue;
      if (store < 0 || R.store[i] === store) out[m++] = i;
    }
    return m;
  }

  // The stores' figures over the records that pass every filter but the store's, so that
  // the table still compares them when one store is chosen.
  function storeFigures() {
    var n = D.stores.length, st = {records: new Float64Array(n), sev: [], first: [], last: [],
      worst: new Int32Array(n).fill(-1)};
    for (var s = 0; s < 6; s++) st.sev.push(new Float64Array(n));
    st.first = new Int32Array(n).fill(-1); st.last = new Int32Array(n).fill(-1);
    var list = V.shown, count = V.count;
    if (F.store >= 0) { list = new Uint32Array(N); count = scan(list, -1); }
    for (var k = 0; k < count; k++) storeAdd(st, list[k]);
    return st;
  }
  function storeAdd(st, i) {
    var k = R.store[i], t = R.t[i];
    st.records[k]++; st.sev[R.sev[i]][k]++;
    if (st.first[k] < 0 || t < R.t[st.first[k]]) st.first[k] = i;
    if (st.last[k] < 0 || t >= R.t[st.last[k]]) st.last[k] = i;
    if ((R.sev[i] === 3 || R.sev[i] === 4) && (st.worst[k] < 0 || t >= R.t[st.worst[k]])) st.worst[k] = i;
  }

  // ---- The timeline ----

  // The time window's records (sorted times, all filters but the time's aside) cut where
  // the clock jumps by more than GAP; the parts with at least SHARE of them are drawn,
  // side by side, the others listed below the chart.
  function parts() {
    var lo = lower(F.from), hi = lower(F.to + 1), list = [], start = lo, k;
    if (V.parts && V.parts.lo === lo && V.parts.hi === hi) return V.parts.made;
    for (k = lo + 1; k <= hi; k++) {
      if (k === hi || R.ts[k] - R.ts[k - 1] > GAP) {
        list.push({lo: start, hi: k, a: R.ts[start], b: R.ts[k - 1]});
        start = k;
      }
    }
    var total = hi - lo, drawn = list.filter(function (p) { return p.hi - p.lo >= SHARE * total; });
    if (drawn.length > PARTS_MAX || (drawn.length === 0 && list.length)) {
      drawn = list.slice().sort(function (x, y) { return (y.hi - y.lo) - (x.hi - x.lo); })
        .slice(0, drawn.length ? PARTS_MAX : 1).sort(function (x, y) { return x.a - y.a; });
    }
    list.forEach(function (p) { p.drawn = drawn.indexOf(p) >= 0; });
    V.parts = {lo: lo, hi: hi, made: {all: list, drawn: drawn}};
    return V.parts.made;
  }
  function lower(utc) {
    if (utc === -Infinity) return 0;
    if (utc === Infinity) return N;
    var lo = 0, hi = N;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (R.ts[mid] < utc) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  // The interval of the bars: the shortest of STEPS that keeps them within `most`; each
  // part's first bar is the one that holds its first record.
  function bars(drawn, most) {
    var step = STEPS[STEPS.length - 1], s, p, total;
    for (s = 0; s < STEPS.length; s++) {
      total = 0;
      for (p = 0; p < drawn.length; p++) total += span(drawn[p], STEPS[s]).bins;
      if (total <= most) { step = STEPS[s]; break; }
    }
    var at = 0;
    drawn.forEach(function (q) {
      var sp = span(q, step);
      q.start = sp.start; q.bins = sp.bins; q.at = at; at += sp.bins;
    });
    return {step: step, bins: at};
  }
  function span(p, step) {
    var first = R.local[R.byTime[p.lo]], last = R.local[R.byTime[p.hi - 1]];
    var start = Math.floor(first / step) * step;
    return {start: start, bins: Math.floor((last - start) / step) + 1};
  }

  // Counts of the records shown, by bar and severity, and by part left out.
  function binCounts(pl, step, bins) {
    var counts = new Float64Array(bins * 6), out = new Float64Array(pl.all.length);
    for (var k = 0; k < V.count; k++) {
      var i = V.shown[k], t = R.t[i], p = partOf(pl.all, t);
      if (p < 0) continue;
      var q = pl.all[p];
      if (!q.drawn) { out[p]++; continue; }
      var b = Math.min(q.bins - 1, Math.max(0, Math.floor((R.local[i] - q.start) / step)));
      counts[(q.at + b) * 6 + R.sev[i]]++;
    }
    return {counts: counts, out: out};
  }
  function partOf(list, t) {
    for (var p = 0; p < list.length; p++) if (t >= list[p].a && t <= list[p].b) return p;
    return -1;
  }

  // 4 to 6 gridlines at round numbers.
  function yTicks(peak) {
    var raw = Math.max(peak, 4) / 5, mag = Math.pow(10, Math.floor(Math.log10(raw))), step = mag;
    [1, 2, 5, 10].some(function (m) { step = m * mag; return step >= raw; });
    step = Math.max(1, Math.round(step));
    var top = Math.max(Math.ceil(peak / step), 4) * step;
    return {step: step, top: top};
  }

  function stepName(step) {
    var names = {60: 'minute', 3600: 'hour', 86400: 'day', 604800: 'week'};
    if (names[step]) return names[step];
    if (step % DAY === 0) return step / DAY + ' days';
    if (step % 3600 === 0) return step / 3600 + ' hours';
    return step / 60 + ' minutes';
  }

  function drawChart() {
    // As wide as the window (the drawing is scaled to its box): no layout is waited for.
    var box = byId('chart'), width = Math.max(300, Math.min(1600, window.innerWidth - 30)), height = 222;
    var L = 52, RIGHT = 8, TOPM = 8, BOTTOM = 200, BREAK = 14;
    V.chartWidth = width;
    var pl = parts(), plotW = width - L - RIGHT - BREAK * Math.max(0, pl.drawn.length - 1);
    var b = bars(pl.drawn, Math.max(10, Math.min(400, Math.floor(plotW / 3))));
    var c = binCounts(pl, b.step, b.bins), w = plotW / Math.max(1, b.bins);
    var peak = 0, k, s;
    for (k = 0; k < b.bins; k++) {
      var sum = 0;
      for (s = 0; s < 6; s++) sum += c.counts[k * 6 + s];
      peak = Math.max(peak, sum);
    }
    var y = yTicks(peak), scale = (BOTTOM - TOPM) / y.top;
    var g = svg('svg', {viewBox: '0 0 ' + width + ' ' + height, width: width, height: height,
      role: 'img', 'aria-label': 'Events per ' + stepName(b.step) + ' (' + ZONE + ')' +
        (pl.drawn.length ? ' from ' + stamp(pl.drawn[0].start) : '') + ', stacked by severity'});
    for (var v = 0; v <= y.top; v += y.step) {
      var yy = BOTTOM - v * scale;
      g.appendChild(svg('line', {x1: L, x2: width - RIGHT, y1: yy, y2: yy, 'class': v ? 'grid' : 'axis'}));
      g.appendChild(text(L - 6, yy + 4, num(v), 'end'));
    }
    var xOf = function (q, bin) { return L + (q.at + bin) * w + pl.drawn.indexOf(q) * BREAK; };
    var paths = [[], [], [], [], [], []];
    pl.drawn.forEach(function (q, p) {
      drawBars(q, c.counts, w, xOf, scale, BOTTOM, paths);
      drawTicks(g, q, b.step, w, xOf, BOTTOM);
      if (p > 0) drawBreak(g, xOf(q, 0) - BREAK / 2, TOPM, BOTTOM);
    });
    paths.forEach(function (d, s) { if (d.length) g.appendChild(svg('path', {'class': 's' + s, d: d.join('')})); });
    byId('chart-title').textContent = pl.drawn.length ? 'Events per ' + stepName(b.step) + ' (' + ZONE + ')'
      : 'No records to draw';
    box.replaceChildren(g);
    V.chart = {pl: pl, step: b.step, w: w, xOf: xOf, width: width, counts: c.counts};
    drawOutside(pl, c.out);
    if (byId('split').checked) drawHeat(); else byId('heat').replaceChildren();
  }
  function text(x, y, s, anchor) {
    var t = svg('text', {x: x, y: y, 'text-anchor': anchor});
    t.textContent = s;
    return t;
  }

  // The bars as a path a severity, each present one at least 2 px high in its bar.
  function drawBars(q, counts, w, xOf, scale, bottom, paths) {
    var bw = Math.max(0.6, w * 0.88).toFixed(1);
    for (var bin = 0; bin < q.bins; bin++) {
      var at = (q.at + bin) * 6, y = bottom, x = xOf(q, bin).toFixed(1);
      for (var s = 0; s < 6; s++) {
        var n = counts[at + s];
        if (!n) continue;
        var h = Math.max(2, n * scale);
        y -= h;
        paths[s].push('M' + x + ' ' + y.toFixed(1) + 'h' + bw + 'v' + h.toFixed(1) + 'h-' + bw + 'z');
      }
    }
  }

  // What the bar at a point of the chart holds, said below it.
  function hover(e) {
    var hit = pointed(e), line = '';
    if (hit) {
      var c = V.chart, at = (hit.q.at + hit.bin) * 6, said = [];
      for (var s = 0; s < 6; s++) if (c.counts[at + s]) said.push(num(c.counts[at + s]) + ' ' + D.sevs[s]);
      line = stamp(hit.q.start + hit.bin * c.step) + ' (' + ZONE + '), ' + stepName(c.step) + ': ' +
        (said.length ? said.join(', ') + '; click to see them' : 'no records');
    }
    byId('chart-hover').textContent = line;
  }
  function pointed(e) {
    var box = byId('chart').firstChild, rect = box.getBoundingClientRect();
    return barAt((e.clientX - rect.left) * V.chart.width / rect.width);
  }

  // Ticks at whole hours or days (or weeks, months, years), as many as fit.
  function drawTicks(g, q, step, w, xOf, bottom) {
    var px = w / step, unit = TICKS[TICKS.length - 1];
    for (var k = 0; k < TICKS.length; k++) {
      if (TICKS[k] >= step && TICKS[k] * px >= 74) { unit = TICKS[k]; break; }
    }
    var end = q.start + q.bins * step;
    for (var t = Math.ceil(q.start / unit) * unit; t < end; t += unit) {
      var x = xOf(q, 0) + (t - q.start) * px;
      g.appendChild(svg('line', {x1: x, x2: x, y1: bottom, y2: bottom + 4, 'class': 'axis'}));
      var label = unit >= DAY || t % DAY === 0 ? dayText(t) : stamp(t).slice(11, 16);
      if (x > 30 && x < V.chartWidth - 30) g.appendChild(text(x, bottom + 16, label, 'middle'));
    }
  }
  // Where one part ends and the next begins: the axis cut, two slashes across it.
  function drawBreak(g, x, top, bottom) {
    g.appendChild(svg('rect', {'class': 'gap', x: x - 4, y: top, width: 8, height: bottom - top + 8}));
    g.appendChild(svg('path', {'class': 'break',
      d: 'M' + (x - 6) + ' ' + (bottom + 6) + 'l6 -12M' + x + ' ' + (bottom + 6) + 'l6 -12'}));
  }

  // "400 records dated 2001-11-12 … 2001-11-24 lie outside the chart", with a link that
  // filters to them; past OUTSIDE_LISTED such stretches, how many more.
  var OUTSIDE_LISTED = 5;
  function drawOutside(pl, out) {
    var box = byId('outside'), listed = 0, more = 0, stretches = 0;
    box.replaceChildren();
    pl.all.forEach(function (q, p) {
      if (q.drawn || !out[p]) return;
      if (listed === OUTSIDE_LISTED) { more += out[p]; stretches++; return; }
      var from = dayText(R.local[R.byTime[q.lo]]), to = dayText(R.local[R.byTime[q.hi - 1]]);
      var line = el('span', '', num(out[p]) + (out[p] === 1 ? ' record dated ' : ' records dated ') +
        from + (from === to ? '' : ' \u2026 ' + to) + ' lie' + (out[p] === 1 ? 's' : '') +
        ' outside the chart ');
      var a = el('a', '', 'show them');
      a.href = hashOf(Object.assign({}, F, {from: q.a, to: q.b})) || '#';
      line.appendChild(a);
      if (listed++) box.appendChild(el('br'));
      box.appendChild(line);
    });
    if (more) {
      box.appendChild(el('br'));
      box.appendChild(el('span', '', 'and ' + num(more) + ' more outside it, in ' + num(stretches) +
        ' more stretches of time'));
    }
  }

  // The timeline split by store: a row a store, a cell a bar, its colour the worst
  // severity in it, darker for more records.
  function drawHeat() {
    var c = V.chart, box = byId('heat'), rows = [], k, has = new Uint8Array(D.stores.length);
    for (k = 0; k < V.count; k++) has[R.store[V.shown[k]]] = 1;
    for (k = 0; k < D.stores.length; k++) if (has[k]) rows.push(k);
    var bins = c.pl.drawn.reduce(function (sum, q) { return sum + q.bins; }, 0);
    var cells = new Float64Array(rows.length * bins), worst = new Int8Array(rows.length * bins).fill(-1);
    var row = new Int32Array(D.stores.length).fill(-1), peak = 1;
    rows.forEach(function (s, r) { row[s] = r; });
    for (k = 0; k < V.count; k++) {
      var i = V.shown[k], p = partOf(c.pl.all, R.t[i]), q = c.pl.all[p];
      if (p < 0 || !q.drawn) continue;
      var b = Math.min(q.bins - 1, Math.max(0, Math.floor((R.local[i] - q.start) / c.step)));
      var at = row[R.store[i]] * bins + q.at + b;
      peak = Math.max(peak, ++cells[at]);
      worst[at] = Math.max(worst[at], R.sev[i] === 5 ? -1 : R.sev[i]);
    }
    var h = 14, canvas = document.createElement('canvas');
    canvas.width = c.width; canvas.height = rows.length * h + 4;
    var g = canvas.getContext('2d');
    g.font = '11px system-ui, sans-serif';
    rows.forEach(function (s, r) {
      g.fillStyle = '#444';
      g.fillText(D.stores[s].label.slice(0, 8), 0, r * h + 11);
      c.pl.drawn.forEach(function (q) {
        for (var bin = 0; bin < q.bins; bin++) {
          var n = cells[r * bins + q.at + bin];
          if (!n) continue;
          g.globalAlpha = 0.25 + 0.75 * Math.log(1 + n) / Math.log(1 + peak);
          g.fillStyle = COLOURS[Math.max(0, worst[r * bins + q.at + bin])];
          g.fillRect(c.xOf(q, bin), r * h + 1, Math.max(1, c.w * 0.88), h - 2);
        }
      });
      g.globalAlpha = 1;
    });
    canvas.addEventListener('click', function (e) {
      var rect = canvas.getBoundingClientRect(), x = (e.clientX - rect.left) * canvas.width / rect.width;
      var s = rows[Math.floor((e.clientY - rect.top) * canvas.height / rect.height / h)];
      var hit = barAt(x);
      if (s === undefined || !hit) return;
      F.store = s;
      chooseBar(hit.q.start + hit.bin * c.step);
    });
    box.replaceChildren(canvas);
  }
  function barAt(x) {
    var c = V.chart, found = null;
    c.pl.drawn.forEach(function (q) {
      var bin = Math.floor((x - c.xOf(q, 0)) / c.w);
      if (bin >= 0 && bin < q.bins) found = {q: q, bin: bin};
    });
    return found;
  }
  function chooseBar(start) {
    F.from = utcOf(start);
    F.to = utcOf(start + V.chart.step) - 1;
    showFilter();
    apply();
  }

  // ---- Counts, stores and repeating messages ----

  function table(id, head, rows, numeric) {
    var t = byId(id), tr = el('tr');
    head.forEach(function (h, k) { tr.appendChild(el('th', numeric[k] ? 'n' : '', h)); });
    var body = [el('thead')];
    body[0].appendChild(tr);
    var tb = el('tbody');
    rows.forEach(function (cells) {
      var r = el('tr');
      cells.forEach(function (v, k) { r.appendChild(el('td', numeric[k] ? 'n' : '', numeric[k] ? num(v) : v)); });
      tb.appendChild(r);
    });
    body.push(tb);
    t.replaceChildren.apply(t, body);
    return t;
  }

  // Days are counted in an array: 32-bit times span fewer than DAYS days.
  var DAYS = 50000, DAY0 = 25000;
  function drawCounts() {
    var sev = new Float64Array(6), type = new Float64Array(D.types.length), days = new Float64Array(DAYS);
    for (var k = 0; k < V.count; k++) {
      var i = V.shown[k];
      sev[R.sev[i]]++; type[R.type[i]]++;
      days[Math.floor(R.local[i] / DAY) + DAY0]++;
    }
    table('by-sev', ['Severity', 'Records'], D.sevs.map(function (s, k) { return [s, sev[k]]; })
      .filter(function (r) { return r[1]; }), [false, true]);
    table('by-type', ['Type', 'Records'], D.types.map(function (s, k) { return [s, type[k]]; })
      .filter(function (r) { return r[1]; }).sort(function (a, b) { return b[1] - a[1] || (a[0] < b[0] ? -1 : 1); }),
      [false, true]);
    var list = [];
    for (var d = 0; d < DAYS; d++) if (days[d]) list.push([dayText((d - DAY0) * DAY), days[d]]);
    table('by-day', ['Day (' + ZONE + ')', 'Records'], list, [false, true]);
  }

  // The stores' columns: those the page counts, then those the data brings
  // (storeCols: a key of each store, its header, 'n' for a number).
  var STORE_COLS = [
    {label: UNIT, get: function (k) { return D.stores[k].label; }},
    {label: 'Records', n: true, get: function (k) { return V.stores.records[k]; }},
    {label: 'Warnings', n: true, get: function (k) { return V.stores.sev[2][k]; }},
    {label: 'Criticals', n: true, get: function (k) { return V.stores.sev[3][k]; }},
    {label: 'Emergencies', n: true, get: function (k) { return V.stores.sev[4][k]; }},
    {label: 'First (' + ZONE + ')', get: function (k) { return when(V.stores.first[k]); }},
    {label: 'Last (' + ZONE + ')', get: function (k) { return when(V.stores.last[k]); }},
    {label: 'Last critical or emergency', get: function (k) {
      var i = V.stores.worst[k];
      return i < 0 ? '' : stamp(R.local[i]) + ': ' + textAt(i);
    }}
  ].concat((D.storeCols || []).map(function (c) {
    return {label: c.label, n: c.kind === 'n', get: function (k) { return D.stores[k][c.key]; }};
  }));
  function when(i) { return i < 0 ? '' : stamp(R.local[i]); }

  function drawStores() {
    if (!SEVERAL) return;
    // Until a column is chosen, a fleet's modules come worst first (the data's rank).
    var col = STORE_COLS[V.storeSort], list = D.stores.map(function (s, k) { return k; });
    list.sort(function (a, b) {
      if (!col) return D.stores[a].rank - D.stores[b].rank;
      var x = col.get(a), y = col.get(b), d = x < y ? -1 : x > y ? 1 : a - b;
      return V.storeDesc ? -d : d;
    });
    var t = table('stores', STORE_COLS.map(function (c) { return c.label; }),
      list.map(function (k) { return STORE_COLS.map(function (c) { return c.get(k); }); }),
      STORE_COLS.map(function (c) { return !!c.n; }));
    sortable(t, V.storeSort, V.storeDesc, function (k) {
      V.storeDesc = V.storeSort === k ? !V.storeDesc : !!STORE_COLS[k].n;
      V.storeSort = k;
      drawStores();
    });
    Array.prototype.forEach.call(t.tBodies[0].rows, function (r, k) {
      if (D.stores[list[k]].silent) r.className = 'silent';
      r.cells[0].className = 'link';
      r.cells[0].addEventListener('click', function () { F.store = list[k]; showFilter(); apply(); });
    });
  }
  function sortable(t, active, desc, click) {
    Array.prototype.forEach.call(t.tHead.rows[0].cells, function (th, k) {
      th.classList.add('sort');
      if (k === active) th.setAttribute('aria-sort', desc ? 'descending' : 'ascending');
      th.addEventListener('click', function () { click(k); });
    });
  }

  // A message's pattern: the text of its first record with its decimal numbers as '#'
  // and its dates as '<date>', where the data's masks say.
  function patternOf(p) {
    var k = 0, m = R.masks, out = '', at = 0;
    while (R.pat[k] !== p) k++;
    if (!R.maskAt) {
      R.maskAt = new Int32Array(R.pat.length).fill(-1);
      for (var j = 0, text = -1; j < m.length; j += 2 + 2 * m[j + 1]) {
        text += m[j];
        R.maskAt[text] = j + 1;
      }
    }
    var s = textOf(k), where = R.maskAt[k];
    if (where < 0) return s;
    for (var c = 0; c < m[where]; c++) {
      var start = m[where + 1 + 2 * c], len = m[where + 2 + 2 * c];
      out += s.slice(at, start) + (len < 0 ? '<date>' : '#');
      at = start + Math.abs(len);
    }
    return out + s.slice(at);
  }

  // The texts' messages, numbered as first met, and the masks of their numbers and dates:
  // read only when the repeating messages are first counted.
  function messages() {
    var g = JSON.parse(pieces('sel-groups').join('')), k, next;
    R.pat = new Uint32Array(g.pat.length);
    for (k = 0, next = 0; k < g.pat.length; k++) R.pat[k] = g.pat[k] ? g.pat[k] - 1 : next++;
    R.pats = next;
    R.masks = g.masks;
  }

  // Each record's message as a group of its type and pattern: numbered by the pattern,
  // past the patterns for a type other than the pattern's first.
  function groups() {
    if (R.group) return R.group;
    messages();
    var first = new Int16Array(R.pats).fill(-1), extra = new Map(), g = new Uint32Array(N);
    R.groupPat = [];
    for (var k = 0; k < R.pats; k++) R.groupPat.push(k);
    R.groupType = [];
    for (var i = 0; i < N; i++) {
      var p = R.pat[R.text[i]], t = R.type[i];
      if (first[p] < 0) first[p] = t;
      if (first[p] === t) { g[i] = p; continue; }
      var id = extra.get(p * 64 + t);
      if (id === undefined) {
        id = R.groupPat.length;
        extra.set(p * 64 + t, id);
        R.groupPat.push(p); R.groupType.push(t);
      }
      g[i] = id;
    }
    R.groupType = Array.from(first).concat(R.groupType);
    R.group = g;
    return g;
  }

  // The TOP groups with the most records shown (a tie: the earliest first).
  function drawRepeating() {
    var g = groups(), size = R.groupPat.length, count = new Float64Array(size), k, i;
    var first = new Int32Array(size).fill(-1), last = new Int32Array(size).fill(-1), top = [];
    for (k = 0; k < V.count; k++) {
      i = V.shown[k];
      var id = g[i];
      count[id]++;
      if (first[id] < 0 || R.t[i] < R.t[first[id]]) first[id] = i;
      if (last[id] < 0 || R.t[i] >= R.t[last[id]]) last[id] = i;
    }
    var before = function (a, b) { return count[a] > count[b] || (count[a] === count[b] && R.t[first[a]] < R.t[first[b]]); };
    for (k = 0; k < size; k++) {
      if (!count[k] || (top.length === TOP && !before(k, top[TOP - 1]))) continue;
      for (i = Math.min(top.length, TOP - 1); i > 0 && before(k, top[i - 1]); i--) top[i] = top[i - 1];
      top[i] = k;
    }
    var stores = top.map(function () { return new Set(); }), place = new Map();
    top.forEach(function (id, at) { place.set(id, at); });
    for (k = 0; k < V.count && SEVERAL; k++) {
      var at = place.get(g[V.shown[k]]);
      if (at !== undefined) stores[at].add(R.store[V.shown[k]]);
    }
    table('repeating', ['Records', 'Type', 'Message', 'First (' + ZONE + ')', 'Last (' + ZONE + ')', UNIT + 's'],
      top.map(function (id, at) {
        return [count[id], D.types[R.groupType[id]], patternOf(R.groupPat[id]), stamp(R.local[first[id]]),
          stamp(R.local[last[id]]), SEVERAL ? stores[at].size : 1];
      }), [true, false, false, false, false, true]);
  }

  // ---- The records ----

  function recordCols() {
    var cols = [
      {key: 'store', label: UNIT, get: function (i) { return D.stores[R.store[i]].label; },
        rank: function () { return ranks(D.stores.map(function (s) { return s.label; }), R.store); }},
      {key: 'id', label: 'Id', n: true, get: function (i) { return R.id[i]; },
        rank: function () { return function (i) { return R.id[i] + OFFSET; }; }},
      {key: 'time', label: 'Time (' + ZONE + ')', get: function (i) { return stamp(R.local[i]); },
        rank: function () { return function (i) { return R.t[i] + OFFSET; }; }},
      {key: 'type', label: 'Type', get: function (i) { return D.types[R.type[i]]; },
        rank: function () { return ranks(D.types, R.type); }},
      {key: 'sev', label: 'Severity', get: function (i) { return D.sevs[R.sev[i]]; },
        rank: function () { return function (i) { return R.sev[i]; }; }},
      {key: 'text', label: 'Text', get: textAt,
        rank: function () {
          var all = [];
          for (var k = 0; k < D.texts; k++) all.push(textOf(k));
          return ranks(all, R.text);
        }}
    ];
    return cols.filter(function (c) {
      if (c.key === 'store') return SEVERAL && !V.narrow;
      return !V.narrow || c.key === 'time' || c.key === 'sev' || c.key === 'text';
    });
  }
  // A key a record from the alphabetical rank of its label.
  function ranks(labels, of) {
    var order = labels.map(function (s, k) { return k; }).sort(function (a, b) {
      return labels[a] < labels[b] ? -1 : labels[a] > labels[b] ? 1 : a - b;
    });
    var rank = new Uint32Array(labels.length);
    order.forEach(function (k, r) { rank[k] = r; });
    return function (i) { return rank[of[i]]; };
  }

  function drawHead() {
    var cols = recordCols(), tbl = byId('records').firstChild;
    var group = tbl.querySelector('colgroup'), tr = tbl.tHead.rows[0];
    group.replaceChildren.apply(group, cols.map(function (c) { return el('col', c.key); }));
    tr.replaceChildren.apply(tr, cols.map(function (c) { return el('th', c.n ? 'n' : '', c.label); }));
    sortable(tbl, indexOf(cols, V.sort, 'key'), V.desc, function (k) {
      var key = cols[k].key;
      V.desc = V.sort === key ? !V.desc : false;
      V.sort = key;
      var key32 = cols[k].rank(), desc = V.desc;
      V.order = sortBy(N, desc ? function (i) { return 4294967295 - key32(i); } : key32);
      drawHead();
      apply();
    });
    V.cols = cols;
  }

  // The rows in view and MARGIN on each side; rows of one height, so that the scroll
  // position says which they are.
  function drawRows(force) {
    var box = byId('records'), rowH = parseFloat(getComputedStyle(box).getPropertyValue('--row')) || 24;
    // Before the first layout, the box's height is that of its style: 70% of the window.
    var view = V.laid ? box.clientHeight : window.innerHeight * 0.7, top = V.laid ? box.scrollTop : 0;
    var first = Math.max(0, Math.floor((top - rowH) / rowH) - MARGIN);
    var last = Math.min(V.count, first + Math.ceil(view / rowH) + 2 * MARGIN);
    if (!force && first === V.first) return;
    V.first = first;
    var body = box.firstChild.tBodies[0], rows = [spacer(first * rowH)];
    for (var k = first; k < last; k++) rows.push(row(V.shown[k]));
    rows.push(spacer((V.count - last) * rowH));
    body.replaceChildren.apply(body, rows);
    function spacer(h) {
      var tr = el('tr', 'pad'), td = el('td');
      td.colSpan = V.cols.length;
      tr.style.height = h + 'px';
      tr.appendChild(td);
      return tr;
    }
  }
  function row(i) {
    var tr = el('tr');
    V.cols.forEach(function (c) {
      var td = el('td', c.key + (c.n ? ' n' : ''));
      if (c.key === 'text') td.appendChild(el('div', '', c.get(i))); else td.textContent = c.get(i);
      if (c.key === 'sev') td.classList.add('s' + R.sev[i]);
      tr.appendChild(td);
    });
    tr.addEventListener('click', function () { detail(i); });
    return tr;
  }
  function detail(i) {
    byId('detail').textContent = (SEVERAL ? UNIT + ': ' + D.stores[R.store[i]].label + '\n' : '') +
      'Record ' + R.id[i] + ', ' + stamp(R.local[i]) + ' (' + ZONE + '), ' + D.types[R.type[i]] +
      ', ' + D.sevs[R.sev[i]] + '\n' + textAt(i);
  }

  // ---- The form ----

  function options(select, labels, any) {
    var list = any ? [el('option', '', any)] : [];
    labels.forEach(function (label, k) { var o = el('option', '', label); o.value = k; list.push(o); });
    if (any) list[0].value = -1;
    select.replaceChildren.apply(select, list);
  }
  function showFilter() {
    var f = byId('filter');
    f.store.value = F.store; f.sev.value = F.sev; f.mode.value = F.exact ? 'sevx' : 'sev';
    f.type.value = F.type; f.q.value = F.q;
    f.from.value = F.from > -Infinity ? stamp(F.from + offsetNear(F.from)) : '';
    f.to.value = F.to < Infinity ? stamp(F.to + offsetNear(F.to)) : '';
  }
  function readFilter() {
    var f = byId('filter');
    F.store = +f.store.value; F.sev = +f.sev.value; F.exact = f.mode.value === 'sevx';
    F.type = +f.type.value; F.q = f.q.value;
    var from = parseTime(f.from.value, false), to = parseTime(f.to.value, true);
    F.from = isNaN(from) ? -Infinity : from;
    F.to = isNaN(to) ? Infinity : to;
    f.from.setCustomValidity(f.from.value && isNaN(from) ? 'a date, or a date and a time' : '');
    f.to.setCustomValidity(f.to.value && isNaN(to) ? 'a date, or a date and a time' : '');
  }

  function wire() {
    var f = byId('filter'), pending = 0;
    options(f.store, D.stores.map(function (s) { return s.label; }), 'any');
    options(f.sev, D.sevs);
    options(f.type, D.types, 'any');
    f.store.parentNode.hidden = !SEVERAL;
    f.store.parentNode.firstChild.textContent = UNIT + ' ';
    if (D.fleet) {
      byId('stores-box').firstElementChild.textContent = 'Modules, worst first';
      byId('split-box').lastChild.textContent = ' Split by module';
    }
    Array.prototype.forEach.call(document.querySelectorAll('.zoned'), function (label) {
      label.textContent += ' (' + ZONE + ')';
    });
    byId('split-box').hidden = !SEVERAL;
    byId('stores-box').hidden = !SEVERAL;
    f.addEventListener('submit', function (e) { e.preventDefault(); });
    f.addEventListener('change', function () { readFilter(); apply(); });
    f.q.addEventListener('input', function () {
      clearTimeout(pending);
      pending = setTimeout(function () { readFilter(); apply(); }, 150);
    });
    byId('clear-time').addEventListener('click', function () { F.from = -Infinity; F.to = Infinity; showFilter(); apply(); });
    byId('clear-all').addEventListener('click', function () { location.hash = ''; });
    byId('split').addEventListener('change', drawChart);
    byId('chart').addEventListener('mousemove', hover);
    byId('chart').addEventListener('mouseleave', function () { byId('chart-hover').textContent = ''; });
    byId('chart').addEventListener('click', function (e) {
      var hit = V.chart && pointed(e);
      if (hit) chooseBar(hit.q.start + hit.bin * V.chart.step);
    });
    byId('records').addEventListener('scroll', function () { requestAnimationFrame(function () { drawRows(false); }); });
    window.addEventListener('hashchange', function () {
      if (location.hash === V.hash) return;
      F = readHash(); showFilter(); apply();
    });
    var narrow = matchMedia('(max-width: 600px)');
    V.narrow = narrow.matches;
    narrow.addEventListener('change', function () { V.narrow = narrow.matches; drawHead(); drawChart(); drawRows(true); });
    window.addEventListener('resize', function () { clearTimeout(V.resize); V.resize = setTimeout(drawChart, 200); });
  }

  // The rows, the chart and the counts at once (the counts after the first paint when the
  // page opens); the stores and the repeating messages, which take longer to count, in the
  // task after, so that a filter answers before them.
  function apply(opening) {
    var start = performance.now();
    filter();
    byId('shown').textContent = num(V.count);
    drawRows(true);
    drawChart();
    if (!opening) drawCounts();
    writeHash();
    document.body.setAttribute('data-filter-ms', Math.round(performance.now() - start));
    clearTimeout(V.later);
    V.later = setTimeout(function () {
      if (opening) drawCounts();
      if (SEVERAL) V.stores = storeFigures();
      drawStores();
      drawRepeating();
    }, 0);
  }

  byId('total').textContent = num(N);
  byId('app').hidden = false;
  wire();
  F = readHash();
  V.hash = location.hash;
  showFilter();
  drawHead();
  apply(true);
  // The first rows and the chart laid out: the time since navigation began.
  V.laid = document.body.offsetHeight > 0;
  document.body.setAttribute('data-open-ms', Math.round(performance.now()));
  // The texts cut into theirs while the reader looks, so that a first search is quick.
  setTimeout(function () { for (var p = 0; p < RAW.length; p++) piece(p); }, 0);
})();
