// Runs inside the converted page in headless Chromium: every reference link
// ("#r") and index link ("#c") must find its anchor, the listing must render as
// one preformatted block, and the escaped characters must show as written.
(function () {
  var fails = [];
  var counts = { r: 0, c: 0 };
  var links = document.querySelectorAll('a[href^="#r"], a[href^="#c"]');
  for (var i = 0; i < links.length; i++) {
    var name = links[i].getAttribute('href').slice(1);
    counts[name[0]]++;
    if (document.getElementsByName(name).length === 0) fails.push('no anchor ' + name);
  }
  if (counts.r === 0 || counts.c === 0) fails.push('no links of one kind');
  if (document.querySelectorAll('span[title]').length === 0) fails.push('no operation tooltips');
  var pres = document.getElementsByTagName('pre');
  if (pres.length !== 1) {
    fails.push(pres.length + ' PRE blocks');
  } else {
    var pre = pres[0];
    var ws = getComputedStyle(pre).whiteSpace;
    if (ws !== 'pre') fails.push('white-space is ' + ws);
    var lines = pre.innerText.replace(/\n$/, '').split('\n');
    if (lines.length !== CHECK_LINES) fails.push(lines.length + ' lines shown, ' + CHECK_LINES + ' expected');
    var text = '\n' + pre.innerText;
    for (var j = 0; j < CHECK_TEXTS.length; j++)
      if (text.indexOf('\n' + CHECK_TEXTS[j] + '\n') < 0) fails.push('line not shown: ' + CHECK_TEXTS[j]);
    // Nothing of the listing is left outside the block.
    var outside = document.body.innerText.replace(pre.innerText, '').trim();
    if (outside !== '') fails.push('text outside PRE: ' + outside.slice(0, 40));
    // Each anchor is rendered on a line of its own height (not collapsed).
    var a = document.getElementsByName('r140')[0];
    if (a && a.getBoundingClientRect().height <= 0) fails.push('anchor r140 not rendered');
  }
  var out = document.createElement('div');
  out.id = 'check';
  out.textContent = (fails.length ? 'CHECK FAIL: ' + fails.join('; ') : 'CHECK OK') +
      ' r-links=' + counts.r + ' c-links=' + counts.c;
  document.body.appendChild(out);
})();
