// The gateway's web console: the fleet, one device's settings in the dialogs' sections (edit,
// see the plan as a diff, apply, see what was read back), the mask and motion areas as
// rectangles over the 352 x 288 picture, and a PTZ pad. Plain JavaScript, nothing fetched
// from elsewhere; it speaks only the gateway's /api/v1.
'use strict';

const TEXTS = {
  en: {
    fleet: 'Devices', logout: 'Sign out', token: 'Access token', tokenHint: 'Paste a read or write token from the gateway\'s tokens file.',
    signIn: 'Sign in', filter: 'Filter', refresh: 'Refresh', checkAll: 'Check all', add: 'Add a device', id: 'Id', name: 'Name',
    host: 'Address', port: 'Port', user: 'User', password: 'Password', videoPort: 'Video port', state: 'State', last: 'Last result',
    when: 'When', remove: 'Remove', unknown: 'unknown', state_up: 'up', state_down: 'down', state_unknown: 'unknown', none: 'none yet',
    versions: 'Versions', since: 'since', drift: 'drift', changes: 'Recent changes', noChanges2: 'No change made through this gateway yet.', by: 'by',
    sectionNetwork: 'Network', sectionVideo: 'Encoder and picture', sectionOsd: 'OSD caption and clock', sectionRegions: 'Mask and motion',
    sectionPtz: 'PTZ', ip: 'Device IP', mask: 'Subnet mask', gateway: 'Gateway', baud: 'Baud rate', allowAddress: 'Allow a change of address',
    bitrate: 'Bitrate (kbit/s)', frameRate: 'Frame rate', iframe: 'I-frame interval', quant: 'Quantiser step', paramR: 'Parameter R',
    brightness: 'Brightness', contrast: 'Contrast', saturation: 'Saturation', hue: 'Hue', caption: 'Caption', captionShow: 'Show caption',
    captionBytes: 'bytes that are no text, kept unless you type a caption:', captionPos: 'Caption position', timeShow: 'Show time', timePos: 'Time position', positions: ['1 top left', '2 top centre', '3 top right',
      '4 middle left', '5 middle right', '6 bottom left', '7 bottom centre', '8 bottom right'],
    maskArea: 'Privacy mask', motionArea: 'Motion detection', enabled: 'Enabled', top: 'Top', left: 'Left', width: 'Width', height: 'Height',
    sensitivity: 'Sensitivity', regionHint: 'Drag a rectangle to move it, its corner to resize it; drag on empty picture to draw the chosen area anew.',
    plan: 'Show the plan', apply: 'Apply', reload: 'Read again', noChanges: 'Nothing to change: the device already has these values.',
    path: 'Setting', from: 'Now', to: 'Wanted', applied: 'Applied and read back', failed: 'Not applied', verified: 'Read back',
    rolledBack: 'rolled back to the earlier values', readOnly: 'This token may read and plan only.', up: 'Up', down: 'Down',
    leftDir: 'Left', rightDir: 'Right', stop: 'Stop', iris: 'Iris', focus: 'Focus', zoom: 'Zoom', ptzHint: 'Hold a button (or an arrow key) to move; release to stop.',
    loading: 'Reading the device…', added: 'Device added', removed: 'Device removed', confirmRemove: 'Remove this device from the gateway?',
    videoPortOf: 'video port', badToken: 'The token was not accepted.', working: 'Working…',
  },
  zh: {
    fleet: '设备列表', logout: '退出登录', token: '访问令牌', tokenHint: '粘贴网关令牌文件中的读或写令牌。', signIn: '登录', filter: '筛选',
    refresh: '刷新', checkAll: '全部检查', add: '添加设备', id: '标识', name: '名称', host: '地址', port: '端口', user: '用户名', password: '密码',
    videoPort: '视频端口', state: '状态', last: '上次结果', when: '时间', remove: '删除', unknown: '未知', state_up: '在线', state_down: '离线', state_unknown: '未知',
    versions: '版本', since: '自', drift: '偏差', changes: '最近的更改', noChanges2: '尚未通过此网关进行更改。', by: '操作者',
    none: '尚无', sectionNetwork: '设备配置', sectionVideo: '视频参数', sectionOsd: 'OSD设置', sectionRegions: '遮挡设置 / 移动侦察',
    sectionPtz: '云台控制', ip: '设备IP', mask: '子网掩码', gateway: '网关', baud: '波特率', allowAddress: '允许更改地址', bitrate: '码速率(KBit)',
    frameRate: '帧率', iframe: 'I帧间隔', quant: '量化步长', paramR: '参数 R', brightness: '亮度', contrast: '对比度', saturation: '饱和度', hue: '色度',
    caption: '字幕', captionShow: '字幕显示', captionBytes: '非文本字节，不输入新字幕则保持不变：', captionPos: '字幕位置', timeShow: '时间显示', timePos: '时间位置',
    positions: ['1-左上', '2-中上', '3-右上', '4-左中', '5-右中', '6-左下', '7-中下', '8-右下'], maskArea: '遮挡设置', motionArea: '移动侦察',
    enabled: '使能', top: '顶', left: '左', width: '宽', height: '高', sensitivity: '灵敏度',
    regionHint: '拖动矩形可移动，拖动其角可改变大小；在空白画面上拖动可重画所选区域。', plan: '查看变更', apply: '确定', reload: '重新读取',
    noChanges: '无需更改：设备已是这些值。', path: '设置', from: '当前', to: '目标', applied: '已应用并读回', failed: '未应用', verified: '已读回',
    rolledBack: '已恢复原值', readOnly: '此令牌只能读取和查看变更。', up: '上', down: '下', leftDir: '左', rightDir: '右', stop: '停止',
    iris: '光圈', focus: '聚焦', zoom: '变倍', ptzHint: '按住按钮（或方向键）移动，松开即停止。', loading: '正在读取设备…', added: '已添加设备',
    removed: '已删除设备', confirmRemove: '从网关删除此设备？', videoPortOf: '视频端口', badToken: '令牌未被接受。', working: '处理中…',
  },
};
const LANG = (navigator.languages || [navigator.language || 'en']).some((l) => /^zh/i.test(l)) ? 'zh' : 'en';
const T = TEXTS[LANG];
document.documentElement.lang = LANG === 'zh' ? 'zh-CN' : 'en';

// ---- small helpers --------------------------------------------------------------------------

function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (value === undefined || value === null || value === false) continue;
    if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else if (key === 'text') node.textContent = value;
    else node.setAttribute(key, value === true ? '' : value);
  }
  for (const child of children.flat()) if (child !== null && child !== undefined) node.append(child);
  return node;
}

function toast(message, bad = false) {
  const box = el('div', { class: bad ? 'bad' : '', text: message });
  document.getElementById('toast').append(box);
  setTimeout(() => box.remove(), bad ? 8000 : 3000);
}

let token = sessionStorage.getItem('vmlcmd-token') || '';
let role = sessionStorage.getItem('vmlcmd-role') || '';
if (location.hash.startsWith('#token=')) {
  token = decodeURIComponent(location.hash.slice(7));
  sessionStorage.setItem('vmlcmd-token', token);
  history.replaceState(null, '', location.pathname + '#/');
}

class ApiError extends Error {
  constructor(status, body) {
    super((body && body.error && body.error.message) || `HTTP ${status}`);
    this.status = status;
    this.body = body;
  }
}

async function api(method, path, body, options = {}) {
  const response = await fetch('/api/v1' + path, {
    method,
    headers: Object.assign({ Authorization: 'Bearer ' + token }, body === undefined ? {} : { 'Content-Type': 'application/json' }),
    body: body === undefined ? undefined : JSON.stringify(body),
    keepalive: options.keepalive || false,
  });
  const text = await response.text();
  const data = text ? JSON.parse(text) : null;
  if (response.status === 401) {
    sessionStorage.removeItem('vmlcmd-token');
    token = '';
    showLogin(T.badToken);
    throw new ApiError(401, data);
  }
  if (!response.ok && !options.acceptFailure) throw new ApiError(response.status, data);
  return { status: response.status, data };
}

function describeError(error) {
  if (error instanceof ApiError && error.body && error.body.error) return `${error.body.error.stage}: ${error.body.error.message}`;
  return String(error.message || error);
}

// ---- sign in --------------------------------------------------------------------------------

function showLogin(problem) {
  const main = document.getElementById('main');
  const input = el('input', { type: 'password', id: 'token', size: 40, autocomplete: 'off' });
  main.replaceChildren(el('div', { class: 'card' }, el('h2', { text: T.token }), el('p', { class: 'muted', text: T.tokenHint }),
    problem ? el('p', { class: 'result-bad', text: problem }) : null,
    el('form', { onsubmit: (e) => { e.preventDefault(); token = input.value.trim(); sessionStorage.setItem('vmlcmd-token', token); route(); } },
      el('div', { class: 'row' }, input, el('button', { class: 'primary', type: 'submit', text: T.signIn })))));
  input.focus();
}

// The console shows write controls only to a write token; the gateway checks again anyway.
async function learnRole() {
  if (role) return role;
  role = (await api('GET', '/whoami')).data.role;
  sessionStorage.setItem('vmlcmd-role', role);
  return role;
}

// ---- the fleet ------------------------------------------------------------------------------

let fleetTimer = null;

function formatWhen(ms) {
  if (!ms) return '';
  return new Date(ms).toLocaleTimeString(LANG === 'zh' ? 'zh-CN' : 'en-GB');
}

async function showFleet() {
  document.getElementById('where').textContent = '';
  const main = document.getElementById('main');
  const filter = el('input', { type: 'text', id: 'filter', placeholder: T.filter, value: sessionStorage.getItem('vmlcmd-filter') || '' });
  const body = el('tbody', { id: 'devices' });
  const table = el('table', {}, el('thead', {}, el('tr', {}, [T.id, T.name, T.host, T.videoPort, T.state, T.versions, T.last, T.when, ''].map((h) => el('th', { text: h })))), body);
  const stateText = (d) => T['state_' + d.state] || d.state;
  // The last call's result, or else what the probes found wrong.
  const lastText = (d) => d.last ? `${d.last.operation}: ${d.last.ok ? 'ok' : d.last.message}`
    : (d.health && d.health.failure && d.state === 'down' ? d.health.failure.message : T.none);
  let devices = [];
  const render = () => {
    const words = filter.value.trim().toLowerCase();
    sessionStorage.setItem('vmlcmd-filter', filter.value);
    body.replaceChildren(...devices.filter((d) => !words || [d.id, d.name, d.host + ':' + d.port, stateText(d), d.state].join(' ').toLowerCase().includes(words)).map((d) =>
      el('tr', { class: 'device', 'data-id': d.id, onclick: () => { location.hash = '#/device/' + encodeURIComponent(d.id); } },
        el('td', { text: d.id }), el('td', { text: d.name }), el('td', { text: `${d.host}:${d.port}` }), el('td', { text: d.videoPort }),
        el('td', {}, el('span', { class: 'state ' + d.state, text: stateText(d) + (d.drift && d.drift.fields ? ` · ${T.drift} ${d.drift.fields}` : ''), title: d.since ? `${T.since} ${new Date(d.since).toLocaleString(LANG === 'zh' ? 'zh-CN' : 'en-GB')}` : undefined })),
        el('td', { class: 'versions', text: d.health && d.health.versions ? `BSP ${d.health.versions.bsp >>> 0} · NAPI ${d.health.versions.napi >>> 0}` : '' }),
        el('td', { text: lastText(d) }),
        el('td', { text: d.last ? formatWhen(d.last.at) : '' }),
        el('td', {}, role === 'write' ? el('button', { type: 'button', class: 'remove', text: T.remove, onclick: async (e) => {
          e.stopPropagation();
          if (!confirm(T.confirmRemove)) return;
          try { await api('DELETE', '/devices/' + encodeURIComponent(d.id)); toast(T.removed); await load(); } catch (err) { toast(describeError(err), true); }
        } }) : null))));
  };
  const load = async () => {
    devices = (await api('GET', '/devices')).data;
    render();
  };
  filter.addEventListener('input', render);
  const checkAll = async () => {
    // One short probe a device, not a whole configuration read.
    await Promise.all(devices.map((d) => api('POST', `/devices/${encodeURIComponent(d.id)}/probe`, undefined, { acceptFailure: true }).catch(() => null)));
    await load();
  };
  const form = addDeviceForm(load);
  main.replaceChildren(
    el('div', { class: 'row' }, el('h2', { text: T.fleet }), filter,
      el('button', { type: 'button', id: 'refresh', text: T.refresh, onclick: load }),
      el('button', { type: 'button', id: 'check-all', text: T.checkAll, onclick: checkAll })),
    table, form);
  await load();
  clearInterval(fleetTimer);
  fleetTimer = setInterval(() => { if (!document.hidden) load().catch(() => {}); }, 5000);
}

function addDeviceForm(reload) {
  if (role !== 'write') return el('p', { class: 'muted', text: T.readOnly });
  const fields = { name: el('input', { type: 'text', name: 'name', size: 14 }), host: el('input', { type: 'text', name: 'host', size: 14, value: '127.0.0.1' }),
    port: el('input', { type: 'number', name: 'port', min: 1, max: 65535, style: 'width:90px' }), user: el('input', { type: 'text', name: 'user', size: 10, value: 'admin' }),
    password: el('input', { type: 'password', name: 'password', size: 10, autocomplete: 'new-password' }),
    videoPort: el('input', { type: 'number', name: 'videoPort', min: 0, value: 0, style: 'width:60px' }) };
  return el('form', { class: 'card', id: 'add-device', onsubmit: async (e) => {
    e.preventDefault();
    const device = { host: fields.host.value.trim(), port: Number(fields.port.value), user: fields.user.value, password: fields.password.value, videoPort: Number(fields.videoPort.value) };
    if (fields.name.value.trim()) { device.name = fields.name.value.trim(); device.id = device.name.replace(/[^A-Za-z0-9._:~-]/g, '-'); }
    try { await api('POST', '/devices', device); fields.password.value = ''; toast(T.added); await reload(); } catch (err) { toast(describeError(err), true); }
  } }, el('h3', { text: T.add }), el('div', { class: 'row' }, ...Object.entries(fields).map(([key, input]) => el('label', {}, T[key] + ' ', input)),
    el('button', { type: 'submit', class: 'primary', text: T.add })));
}

// ---- one device -----------------------------------------------------------------------------

const SECTIONS = ['network', 'video', 'osd', 'regions', 'ptz'];
const SECTION_TITLES = { network: 'sectionNetwork', video: 'sectionVideo', osd: 'sectionOsd', regions: 'sectionRegions', ptz: 'sectionPtz' };

let ptzRelease = null;  // stops a held PTZ move; set while the pad is shown

async function showDevice(id, section) {
  const device = (await api('GET', '/devices')).data.find((d) => d.id === id);
  const main = document.getElementById('main');
  if (!device) { main.replaceChildren(el('p', { class: 'result-bad', text: `no device ${id}` })); return; }
  document.getElementById('where').textContent = `› ${device.name || device.id} (${device.host}:${device.port}, ${T.videoPortOf} ${device.videoPort})`;
  section = SECTIONS.includes(section) ? section : 'network';
  const tabs = el('div', { class: 'tabs', role: 'tablist' }, SECTIONS.map((s) => el('button', { type: 'button', role: 'tab', id: 'tab-' + s,
    'aria-selected': s === section ? 'true' : 'false', text: T[SECTION_TITLES[s]], onclick: () => { location.hash = `#/device/${encodeURIComponent(id)}/${s}`; } })));
  const panel = el('div', { id: 'panel' });
  const changes = el('div', { class: 'card', id: 'changes' });
  main.replaceChildren(tabs, panel, changes);
  recentChanges(id, changes).catch(() => {});
  if (section === 'ptz') { panel.append(ptzPad(device)); return; }
  panel.append(el('p', { class: 'muted', text: T.loading }));
  const port = String(device.videoPort);
  const read = await api('GET', `/devices/${encodeURIComponent(id)}/config?ports=${port}`, undefined, { acceptFailure: true });
  const current = read.data && read.data.error ? read.data.document || {} : read.data;
  panel.replaceChildren();
  if (read.status !== 200) panel.append(el('p', { class: 'result-bad', id: 'read-error', text: `${read.data.error.stage}: ${read.data.error.message}` }));
  const editor = { network: networkEditor, video: videoEditor, osd: osdEditor, regions: regionsEditor }[section](current, port);
  panel.append(editor.node, planApplyBar(device, editor, section));
}

// The device's newest changes from the audit trail: when, who, what, the values before and after.
async function recentChanges(id, node) {
  const records = (await api('GET', `/audit?device=${encodeURIComponent(id)}&limit=10`)).data.records.reverse();
  const values = (v) => (v === null || v === undefined ? '' : typeof v === 'object' ? Object.entries(v).map(([k, x]) => `${k} = ${JSON.stringify(x)}`).join(', ') : String(v));
  node.replaceChildren(el('h3', { text: T.changes }), records.length === 0 ? el('p', { class: 'muted', text: T.noChanges2 })
    : el('table', {}, el('tbody', {}, records.map((r) => el('tr', { class: 'change' }, el('td', { text: new Date(r.at).toLocaleString(LANG === 'zh' ? 'zh-CN' : 'en-GB') }),
      el('td', { text: `${T.by} ${r.who}` }), el('td', { text: r.operation }), el('td', { text: values(r.before) }), el('td', { text: values(r.after) }),
      el('td', { class: r.result === 'ok' ? 'result-ok' : 'result-bad', text: r.result === 'ok' ? 'ok' : `${r.stage}: ${r.message || ''}` }))))));
}

function get(object, ...keys) {
  return keys.reduce((o, k) => (o && o[k] !== undefined ? o[k] : undefined), object);
}

function numberField(key, value, attrs = {}) {
  return el('input', Object.assign({ type: 'number', name: key, id: 'f-' + key, value: value === undefined ? '' : value, style: 'width:110px' }, attrs));
}

function labelled(text, input) { return el('label', { class: 'field' }, el('span', { text }), input); }

function networkEditor(doc) {
  const ip = el('input', { type: 'text', id: 'f-ip', value: get(doc, 'network', 'ip') || '' });
  const mask = el('input', { type: 'text', id: 'f-subnet_mask', value: get(doc, 'network', 'subnet_mask') || '' });
  const gw = el('input', { type: 'text', id: 'f-gateway', value: get(doc, 'network', 'gateway') || '' });
  const baud = numberField('baud', get(doc, 'serial', 'baud'), { min: 1 });
  return {
    node: el('div', { class: 'card' }, labelled(T.ip, ip), labelled(T.mask, mask), labelled(T.gateway, gw), labelled(T.baud, baud)),
    wanted: () => {
      const out = { network: { ip: ip.value.trim(), subnet_mask: mask.value.trim(), gateway: gw.value.trim() } };
      if (baud.value !== '') out.serial = { baud: Number(baud.value) };
      return out;
    },
    addressChange: true,
  };
}

// A slider with its number beside it, as the picture page has them.
function slider(key, label, value, min, max) {
  const range = el('input', { type: 'range', min, max, value: value === undefined ? min : value, id: 'r-' + key, 'aria-label': label });
  const number = numberField(key, value, { min, max, style: 'width:70px' });
  range.addEventListener('input', () => { number.value = range.value; });
  number.addEventListener('input', () => { range.value = number.value; });
  return { node: el('div', { class: 'slider' }, el('span', { text: label }), range, number), value: () => (number.value === '' ? undefined : Number(number.value)) };
}

function videoEditor(doc, port) {
  const enc = get(doc, 'video_ports', port, 'encoder') || {};
  const pic = get(doc, 'video_ports', port, 'picture') || {};
  const encoder = { bitrate: slider('bitrate', T.bitrate, enc.bitrate, 64, 4096), frame_rate: slider('frame_rate', T.frameRate, enc.frame_rate, 1, 30),
    iframe_interval: slider('iframe_interval', T.iframe, enc.iframe_interval, 2, 100), quant_step: slider('quant_step', T.quant, enc.quant_step, 1, 31) };
  const picture = { brightness: slider('brightness', T.brightness, pic.brightness, 0, 255), contrast: slider('contrast', T.contrast, pic.contrast, 0, 255),
    saturation: slider('saturation', T.saturation, pic.saturation, 0, 255), hue: slider('hue', T.hue, pic.hue, 0, 255) };
  const collect = (group) => Object.fromEntries(Object.entries(group).map(([k, s]) => [k, s.value()]).filter(([, v]) => v !== undefined));
  return {
    node: el('div', {}, el('div', { class: 'card' }, Object.values(encoder).map((s) => s.node)), el('div', { class: 'card' }, Object.values(picture).map((s) => s.node))),
    wanted: () => ({ video_ports: { [port]: { encoder: collect(encoder), picture: collect(picture) } } }),
  };
}

function positionSelect(id, value) {
  return el('select', { id }, T.positions.map((text, i) => el('option', { value: i + 1, text, selected: value === i + 1 })));
}

function osdEditor(doc, port) {
  const cap = get(doc, 'video_ports', port, 'caption') || {};
  const clock = get(doc, 'video_ports', port, 'clock_overlay') || {};
  // A caption the device holds as bytes that are no text in its code page comes as {hex}: it is
  // shown for what it is and written back as it was, unless a new caption is typed.
  const bytes = cap.caption !== null && typeof cap.caption === 'object' ? cap.caption : null;
  const text = el('input', { type: 'text', id: 'f-caption', value: bytes ? '' : cap.caption || '', maxlength: 215, size: 30,
    placeholder: bytes ? `${T.captionBytes} ${bytes.hex}` : '' });
  const show = el('input', { type: 'checkbox', id: 'f-caption-show', checked: !!cap.show });
  const pos = positionSelect('f-caption-position', cap.position);
  const timeShow = el('input', { type: 'checkbox', id: 'f-time-show', checked: !!clock.show });
  const timePos = positionSelect('f-time-position', clock.position);
  return {
    node: el('div', { class: 'card' }, labelled(T.caption, text), labelled(T.captionShow, show), labelled(T.captionPos, pos),
      labelled(T.timeShow, timeShow), labelled(T.timePos, timePos)),
    wanted: () => ({ video_ports: { [port]: {
      caption: { show: show.checked, position: Number(pos.value), caption: bytes && text.value === '' ? bytes : text.value },
      clock_overlay: { show: timeShow.checked, position: Number(timePos.value) } } } }),
  };
}

// The mask and motion areas over the 352 x 288 picture: drag a rectangle to move it, its corner
// to resize it, or drag on the empty picture to draw the chosen area anew.
const PICTURE = { width: 352, height: 288 };

function regionsEditor(doc, port) {
  const areas = {
    mask: Object.assign({ enabled: false, left: 0, top: 0, width: 0, height: 0 }, get(doc, 'video_ports', port, 'privacy_mask') || {}),
    motion: Object.assign({ enabled: false, left: 0, top: 0, width: 0, height: 0, sensitivity: 0 }, get(doc, 'video_ports', port, 'motion') || {}),
  };
  let chosen = 'mask';
  const picture = el('div', { class: 'picture', id: 'picture' });
  const boxes = {};
  const inputs = {};
  const forms = {};
  for (const kind of ['mask', 'motion']) {
    const grip = el('div', { class: 'grip', 'data-kind': kind });
    boxes[kind] = el('div', { class: 'region ' + kind, id: 'region-' + kind }, el('span', { class: 'tag', text: kind === 'mask' ? T.maskArea : T.motionArea }), grip);
    picture.append(boxes[kind]);
    inputs[kind] = {};
    const fields = ['top', 'left', 'width', 'height'].concat(kind === 'motion' ? ['sensitivity'] : []);
    const enabled = el('input', { type: 'checkbox', id: `f-${kind}-enabled`, checked: !!areas[kind].enabled, onchange: () => { areas[kind].enabled = enabled.checked; } });
    inputs[kind].enabled = enabled;
    for (const f of fields) {
      inputs[kind][f] = numberField(`${kind}-${f}`, areas[kind][f], { min: 0, style: 'width:70px', oninput: () => { areas[kind][f] = Number(inputs[kind][f].value); draw(); } });
    }
    forms[kind] = el('div', { class: 'card', id: 'area-' + kind },
      el('label', { class: 'row' }, el('input', { type: 'radio', name: 'area', value: kind, checked: kind === chosen, onchange: () => { chosen = kind; draw(); } }),
        el('strong', { text: kind === 'mask' ? T.maskArea : T.motionArea })),
      labelled(T.enabled, enabled), fields.map((f) => labelled(T[f], inputs[kind][f])));
  }
  function draw() {
    for (const kind of ['mask', 'motion']) {
      const a = areas[kind];
      Object.assign(boxes[kind].style, { left: a.left + 'px', top: a.top + 'px', width: a.width + 'px', height: a.height + 'px', display: a.width > 0 && a.height > 0 ? '' : 'none' });
      boxes[kind].classList.toggle('selected', kind === chosen);
      for (const f of Object.keys(inputs[kind])) if (f !== 'enabled' && document.activeElement !== inputs[kind][f]) inputs[kind][f].value = a[f];
    }
  }
  const clamp = (v, lo, hi) => Math.max(lo, Math.min(hi, v));
  picture.addEventListener('pointerdown', (e) => {
    const rect = picture.getBoundingClientRect();
    const x0 = clamp(Math.round(e.clientX - rect.left), 0, PICTURE.width);
    const y0 = clamp(Math.round(e.clientY - rect.top), 0, PICTURE.height);
    const target = e.target.closest('.region, .grip');
    let mode = 'draw';
    let kind = chosen;
    if (target) { kind = target.dataset.kind || (target.id === 'region-mask' ? 'mask' : 'motion'); mode = target.classList.contains('grip') ? 'resize' : 'move'; }
    chosen = kind;
    forms[kind].querySelector('input[type=radio]').checked = true;
    const a = areas[kind];
    const start = { left: a.left, top: a.top, width: a.width, height: a.height };
    picture.setPointerCapture(e.pointerId);
    e.preventDefault();
    const onMove = (m) => {
      const x = clamp(Math.round(m.clientX - rect.left), 0, PICTURE.width);
      const y = clamp(Math.round(m.clientY - rect.top), 0, PICTURE.height);
      if (mode === 'move') {
        a.left = clamp(start.left + x - x0, 0, PICTURE.width - a.width);
        a.top = clamp(start.top + y - y0, 0, PICTURE.height - a.height);
      } else if (mode === 'resize') {
        a.width = clamp(start.width + x - x0, 1, PICTURE.width - a.left);
        a.height = clamp(start.height + y - y0, 1, PICTURE.height - a.top);
      } else {
        a.left = Math.min(x, x0); a.top = Math.min(y, y0); a.width = Math.abs(x - x0); a.height = Math.abs(y - y0);
      }
      if (mode === 'draw' && a.width > 0 && a.height > 0 && !a.enabled) { a.enabled = true; inputs[kind].enabled.checked = true; }
      draw();
    };
    const onUp = () => { picture.removeEventListener('pointermove', onMove); picture.removeEventListener('pointerup', onUp); picture.removeEventListener('pointercancel', onUp); };
    picture.addEventListener('pointermove', onMove);
    picture.addEventListener('pointerup', onUp);
    picture.addEventListener('pointercancel', onUp);
    draw();
  });
  draw();
  const pick = (a, keys) => Object.fromEntries(keys.map((k) => [k, k === 'enabled' ? !!a[k] : Number(a[k])]));
  return {
    node: el('div', {}, el('p', { class: 'muted', text: T.regionHint }), el('div', { class: 'row', style: 'align-items:flex-start' }, picture, el('div', {}, forms.mask, forms.motion))),
    wanted: () => ({ video_ports: { [port]: {
      privacy_mask: pick(areas.mask, ['enabled', 'left', 'top', 'width', 'height']),
      motion: pick(areas.motion, ['enabled', 'left', 'top', 'width', 'height', 'sensitivity']) } } }),
  };
}

function show(value) {
  if (value === null || value === undefined) return '—';
  if (typeof value === 'string') return `"${value}"`;
  return typeof value === 'object' ? JSON.stringify(value) : String(value);
}

// Edit → plan as a diff → apply → the values read back.
function planApplyBar(device, editor, section) {
  const out = el('div', { id: 'outcome' });
  const allow = el('input', { type: 'checkbox', id: 'allow-address' });
  const applyButton = el('button', { type: 'button', class: 'primary', id: 'apply', disabled: true, text: T.apply });
  const base = `/devices/${encodeURIComponent(device.id)}/config`;
  const planButton = el('button', { type: 'button', id: 'plan', text: T.plan, onclick: async () => {
    out.replaceChildren(el('p', { class: 'muted', text: T.working }));
    try {
      const plan = (await api('POST', base + '/plan', editor.wanted(), { acceptFailure: true })).data;
      if (plan.error) { out.replaceChildren(el('p', { class: 'result-bad', text: `${plan.error.stage}: ${plan.error.message}` })); return; }
      if (!plan.changes.length) { out.replaceChildren(el('p', { id: 'no-changes', text: T.noChanges })); applyButton.disabled = true; return; }
      out.replaceChildren(el('table', { class: 'diff', id: 'plan-table' }, el('tr', {}, el('th', { text: T.path }), el('th', { text: T.from }), el('th', { text: T.to })),
        plan.changes.map((c) => el('tr', {}, el('td', { text: c.path }), el('td', { class: 'from', text: show(c.from) }), el('td', { class: 'to', text: show(c.to) })))));
      applyButton.disabled = role !== 'write';
    } catch (err) { out.replaceChildren(el('p', { class: 'result-bad', text: describeError(err) })); }
  } });
  applyButton.addEventListener('click', async () => {
    applyButton.disabled = true;
    out.append(el('p', { class: 'muted', text: T.working }));
    try {
      const query = editor.addressChange && allow.checked ? '?allow_address_change=true' : '';
      const result = (await api('POST', base + '/apply' + query, editor.wanted(), { acceptFailure: true })).data;
      const good = !result.error;
      out.replaceChildren(el('div', { id: 'apply-result', class: 'card' },
        el('h3', { class: good ? 'result-ok' : 'result-bad', text: good ? T.applied : `${T.failed}: ${result.error.message}` }),
        (result.verified || []).length ? el('p', {}, el('strong', { text: T.verified + ': ' }), el('span', { id: 'verified', text: result.verified.join(', ') })) : null,
        (result.failed || []).length ? el('pre', { class: 'result-bad', text: result.failed.join('\n') + (result.rolled_back ? `\n(${T.rolledBack})` : '') }) : null));
      // What the device holds now, read again.
      const read = await api('GET', `${base}?ports=${device.videoPort}`, undefined, { acceptFailure: true });
      if (read.status === 200) {
        const fresh = { network: networkEditor, video: videoEditor, osd: osdEditor, regions: regionsEditor }[section](read.data, String(device.videoPort));
        editor.node.replaceWith(fresh.node);
        Object.assign(editor, fresh);
      }
    } catch (err) { out.replaceChildren(el('p', { class: 'result-bad', text: describeError(err) })); }
  });
  return el('div', { class: 'card' },
    el('div', { class: 'row' }, planButton, applyButton, editor.addressChange ? el('label', {}, allow, ' ' + T.allowAddress) : null,
      role !== 'write' ? el('span', { class: 'muted', text: T.readOnly }) : null), out);
}

// ---- the PTZ pad ----------------------------------------------------------------------------

// A held button renews its move well inside the lease; when the page goes away without a
// release the gateway's lease stops the head by itself.
const LEASE_SECONDS = 1.0;
const RENEW_MS = 400;

function ptzPad(device) {
  const base = `/devices/${encodeURIComponent(device.id)}/ptz`;
  let held = null;
  let timer = null;
  const send = (axis, direction) => api('POST', base + '/move', { axis, direction, seconds: LEASE_SECONDS }).catch((err) => toast(describeError(err), true));
  const press = (button, axis, direction) => {
    if (held) release();
    held = button;
    button.classList.add('active');
    send(axis, direction);
    timer = setInterval(() => send(axis, direction), RENEW_MS);
  };
  const release = () => {
    if (!held) return;
    held.classList.remove('active');
    held = null;
    clearInterval(timer);
    api('POST', base + '/stop', undefined, { keepalive: true }).catch((err) => toast(describeError(err), true));
  };
  ptzRelease = release;
  const button = (id, text, axis, direction) => {
    const b = el('button', { type: 'button', id: 'ptz-' + id, text, 'data-axis': axis, 'data-direction': direction });
    b.addEventListener('pointerdown', (e) => { e.preventDefault(); b.setPointerCapture(e.pointerId); press(b, axis, direction); });
    b.addEventListener('pointerup', release);
    b.addEventListener('pointercancel', release);
    b.addEventListener('lostpointercapture', release);
    return b;
  };
  const keys = { ArrowUp: 'up', ArrowDown: 'down', ArrowLeft: 'left', ArrowRight: 'right' };
  const pad = el('div', { class: 'ptz', tabindex: 0, id: 'ptz-pad' },
    el('span'), button('up', T.up, 'tilt', 1), el('span'),
    button('left', T.leftDir, 'pan', -1), el('button', { type: 'button', id: 'ptz-stop', text: T.stop, onclick: () => api('POST', base + '/stop').catch((err) => toast(describeError(err), true)) }),
    button('right', T.rightDir, 'pan', 1), el('span'), button('down', T.down, 'tilt', -1), el('span'));
  const lens = el('div', { class: 'lens' },
    el('span', { text: T.iris }), button('iris-plus', '+', 'iris', 1), button('iris-minus', '−', 'iris', -1),
    el('span', { text: T.focus }), button('focus-plus', '+', 'focus', 1), button('focus-minus', '−', 'focus', -1),
    el('span', { text: T.zoom }), button('zoom-plus', '+', 'zoom', 1), button('zoom-minus', '−', 'zoom', -1));
  const onKeyDown = (e) => {
    const which = keys[e.key];
    if (!which || e.repeat) { if (which) e.preventDefault(); return; }
    e.preventDefault();
    const b = document.getElementById('ptz-' + which);
    press(b, b.dataset.axis, Number(b.dataset.direction));
  };
  const onKeyUp = (e) => { if (keys[e.key]) release(); };
  document.addEventListener('keydown', onKeyDown);
  document.addEventListener('keyup', onKeyUp);
  const card = el('div', { class: 'card' }, el('p', { class: 'muted', text: T.ptzHint }), el('div', { class: 'row', style: 'gap:40px;align-items:flex-start' }, pad, lens));
  card.cleanup = () => { release(); document.removeEventListener('keydown', onKeyDown); document.removeEventListener('keyup', onKeyUp); ptzRelease = null; };
  cleanups.push(card.cleanup);
  return card;
}

// A page that is hidden or loses the focus stops what it holds.
document.addEventListener('visibilitychange', () => { if (document.hidden && ptzRelease) ptzRelease(); });
window.addEventListener('blur', () => { if (ptzRelease) ptzRelease(); });
window.addEventListener('pagehide', () => { if (ptzRelease) ptzRelease(); });

// ---- routing --------------------------------------------------------------------------------

let cleanups = [];

async function route() {
  for (const c of cleanups) c();
  cleanups = [];
  clearInterval(fleetTimer);
  if (!token) { showLogin(); return; }
  try {
    await learnRole();
    const parts = location.hash.replace(/^#\/?/, '').split('/').map(decodeURIComponent);
    if (parts[0] === 'device' && parts[1]) await showDevice(parts[1], parts[2]);
    else await showFleet();
  } catch (err) {
    if (!(err instanceof ApiError && err.status === 401)) toast(describeError(err), true);
  }
}

document.addEventListener('DOMContentLoaded', () => {
  for (const node of document.querySelectorAll('[data-t]')) node.textContent = T[node.dataset.t];
  document.getElementById('logout').addEventListener('click', () => { sessionStorage.clear(); token = ''; role = ''; showLogin(); });
  window.addEventListener('hashchange', route);
  route();
});
