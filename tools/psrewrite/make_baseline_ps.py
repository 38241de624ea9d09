#!/usr/bin/env python3
"""Rewrites an HE-AAC v2 ADTS stream so that its parametric stereo uses only baseline tools.

Every frame keeps its AAC core and its SBR data bit for bit; only the ps_data inside the
SBR extended data is re-encoded:
  - 34-band IID/ICC are mapped to 20 bands (integer averages, truncating toward zero),
  - 10- and 20-band data keep their resolution,
  - every envelope is coded with frequency-direction deltas (no dependence on earlier frames),
    or with --time-deltas in time direction where the previous envelope has the same resolution,
  - a PS header is sent in every frame, ICC mode 0..2 only (mixing procedure A),
  - the PS extension (IPD/OPD) is dropped.
Then the extended-data size, the fill element's count, END, the byte padding and the ADTS
frame_length are rewritten. The Huffman codebooks are read from the checked tables
(ps_huff_*.csv, ps_iid_quant.csv under $ZYM_SHARED_DIR/tables/aac, or --tables).

Frames are expected as single raw data blocks of SCE, FIL(SBR, type 13), END (zero-filled
FIL elements may follow the SBR one), without CRC.
The fill element is located from the frame's end: its header, the SBR extension type, the
extended-data size and a parse of ps_data must all agree, with less than a byte of fill at
both levels; a frame where not exactly one position fits is left untouched.

Usage: make_baseline_ps.py IN.adts OUT.adts [--tables DIR]
       [--reshape]   (IID in 10 bands with the fine quantisation, ICC in 20 bands)
       [--time-deltas [--across]]   (time-direction deltas wherever the previous envelope
                     allows them; with --across also where it has 10 bands and this one 20, or back)
       [--strip-ps FIRST:LAST]   (those frames carry no PS data: PS starts in mid-stream)
       [--check]   (re-encode without changes and require identical bytes: tests the coder)
"""

import argparse
import csv
import os
import sys

PAR_COUNT = [10, 20, 34]


def load_book(tables, name):
    codes = {}
    with open(os.path.join(tables, name)) as f:
        rows = [r for r in f if not r.startswith('#')]
    for row in csv.DictReader(rows):
        codes[row['codeword']] = int(row['value'])
    inverse = {v: k for k, v in codes.items()}
    return codes, inverse


class Books:
    def __init__(self, tables):
        self.iid_df = load_book(tables, 'ps_huff_iid_df.csv')
        self.iid_dt = load_book(tables, 'ps_huff_iid_dt.csv')
        self.iid_fine_df = load_book(tables, 'ps_huff_iid_fine_df.csv')
        self.iid_fine_dt = load_book(tables, 'ps_huff_iid_fine_dt.csv')
        self.icc_df = load_book(tables, 'ps_huff_icc_df.csv')
        self.icc_dt = load_book(tables, 'ps_huff_icc_dt.csv')

    def iid(self, fine, dt):
        if fine:
            return self.iid_fine_dt if dt else self.iid_fine_df
        return self.iid_dt if dt else self.iid_df

    def icc(self, dt):
        return self.icc_dt if dt else self.icc_df


class Reader:
    def __init__(self, bits, pos=0, end=None):
        self.bits = bits
        self.pos = pos
        self.end = len(bits) if end is None else end

    def read(self, n):
        if self.pos + n > self.end:
            raise EOFError
        v = int(self.bits[self.pos:self.pos + n], 2) if n else 0
        self.pos += n
        return v

    def huff(self, book):
        codes = book[0]
        word = ''
        while len(word) < 20:
            word += str(self.read(1))
            if word in codes:
                return codes[word]
        raise ValueError('bad codeword')


def to_bits(data):
    return ''.join(format(b, '08b') for b in data)


def from_bits(bits):
    assert len(bits) % 8 == 0
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def field(v, n):
    assert 0 <= v < (1 << n), (v, n)
    return format(v, '0%db' % n) if n else ''


class PsState:
    """Header fields and the last envelope's values (native resolution), carried across frames."""

    def __init__(self):
        self.enable_iid = 0
        self.iid_mode = 0
        self.enable_icc = 0
        self.icc_mode = 0
        self.enable_ext = 0
        self.prev_iid = [0] * 34
        self.prev_icc = [0] * 34
        self.prev_iid_n = 0
        self.prev_icc_n = 0
        self.dt_across_modes = 0


def read_parameters(r, st, f, kind, num_env, n, book_for, lo, hi):
    """One parameter kind ('iid' or 'icc') of every envelope: delta-coded values, kept as
    decoded (f[kind]) and as sent (f[kind + '_dt']); st keeps the previous envelope's."""
    for _ in range(num_env if n else 0):
        dt = r.read(1)
        book = book_for(dt)
        deltas = [r.huff(book) for _ in range(n)]
        f[kind + '_dt'].append((dt, deltas))
        prev, prev_n = getattr(st, 'prev_' + kind), getattr(st, 'prev_%s_n' % kind)
        if dt and prev_n != n:
            st.dt_across_modes += 1
        vals, acc = [], 0
        for b, d in enumerate(deltas):
            acc = prev[b] + d if dt else acc + d
            vals.append(max(lo, min(hi, acc)))
        f[kind].append(vals)
        setattr(st, 'prev_' + kind, vals + [0] * (34 - n))
        setattr(st, 'prev_%s_n' % kind, n)


def parse_ps(r, books, st):
    """Parses one ps_data; returns the frame as a dict with absolute values per envelope."""
    f = {'header': r.read(1)}
    if f['header']:
        st.enable_iid = r.read(1)
        if st.enable_iid:
            st.iid_mode = r.read(3)
        st.enable_icc = r.read(1)
        if st.enable_icc:
            st.icc_mode = r.read(3)
        st.enable_ext = r.read(1)
    f['frame_class'] = r.read(1)
    code = r.read(2)
    num_env = code + 1 if f['frame_class'] else [0, 1, 2, 4][code]
    f['borders'] = [r.read(5) for _ in range(num_env)] if f['frame_class'] else []
    if (st.enable_iid and st.iid_mode > 5) or (st.enable_icc and st.icc_mode > 5):
        raise ValueError('reserved PS mode')
    iid_fine = st.iid_mode >= 3
    n_iid = PAR_COUNT[st.iid_mode % 3] if st.enable_iid else 0
    n_icc = PAR_COUNT[st.icc_mode % 3] if st.enable_icc else 0
    f.update(enable_iid=st.enable_iid, iid_mode=st.iid_mode, enable_icc=st.enable_icc, icc_mode=st.icc_mode,
             iid_fine=iid_fine, n_iid=n_iid, n_icc=n_icc, iid=[], icc=[], iid_dt=[], icc_dt=[])
    limit = 15 if iid_fine else 7
    read_parameters(r, st, f, 'iid', num_env, n_iid, lambda dt: books.iid(iid_fine, dt), -limit, limit)
    read_parameters(r, st, f, 'icc', num_env, n_icc, books.icc, 0, 7)
    f['ext_bits'] = ''
    if st.enable_ext:
        start = r.pos
        size = r.read(4)
        if size == 15:
            size += r.read(8)
        for _ in range(size):
            r.read(8)
        f['ext_bits'] = r.bits[start:r.pos]
    f['enable_ext'] = st.enable_ext
    f['num_env'] = num_env
    f['code'] = code
    return f


def map34to20(b):
    def div(a, n):  # truncating toward zero
        q = abs(a) // n
        return q if a >= 0 else -q
    return [div(2 * b[0] + b[1], 3), div(b[1] + 2 * b[2], 3), div(2 * b[3] + b[4], 3), div(b[4] + 2 * b[5], 3),
            div(b[6] + b[7], 2), div(b[8] + b[9], 2), b[10], b[11], div(b[12] + b[13], 2), div(b[14] + b[15], 2),
            b[16], b[17], b[18], b[19], div(b[20] + b[21], 2), div(b[22] + b[23], 2), div(b[24] + b[25], 2),
            div(b[26] + b[27], 2), div(b[28] + b[29] + b[30] + b[31], 4), div(b[32] + b[33], 2)]


class DeltaState:
    """What a time delta refers to: the last envelope sent, with its resolution, or None.
    With `across`, time deltas also cross a change between 10 and 20 bands: a 10-band set
    refers to every second value of a 20-band one, a 20-band set to each 10-band value twice."""

    def __init__(self, across=False):
        self.across = across
        self.iid = None  # (count, fine, values)
        self.icc = None  # (count, values)


def resample(prev, n, across):
    """The previous set as a time delta of n values refers to it, or None."""
    if len(prev) == n:
        return prev
    if not across:
        return None
    if n == 10 and len(prev) == 20:
        return prev[0::2]
    if n == 20 and len(prev) == 10:
        return [v for v in prev for _ in (0, 1)]
    return None


def code_set(vals, prev, codes, use_dt):
    """One envelope: the direction bit and the codewords; time deltas when `use_dt`."""
    out = '1' if use_dt else '0'
    acc = 0
    for b, v in enumerate(vals):
        out += codes[v - prev[b]] if use_dt else codes[v - acc]
        acc = v
    return out


def load_iid_steps(tables):
    steps = {'default': {}, 'fine': {}}
    with open(os.path.join(tables, 'ps_iid_quant.csv')) as f:
        rows = [r for r in f if not r.startswith('#')]
    for row in csv.DictReader(rows):
        steps[row['quant']][int(row['index'])] = float(row['iid_db'])
    return steps


def reshape(f, steps):
    """--reshape: IID in 10 bands with the fine quantisation (every second of the 20-band
    values, requantised to the nearest fine step), ICC in 20 bands (10-band data repeated)."""
    f = dict(f)
    iid = []
    for v in f['iid']:
        v20 = map34to20(v) if len(v) == 34 else v if len(v) == 20 else [x for x in v for _ in (0, 1)]
        out = []
        for b in range(10):
            db = steps['fine' if f['iid_fine'] else 'default'][v20[2 * b]]
            out.append(min(steps['fine'], key=lambda i: (abs(steps['fine'][i] - db), abs(i))))
        iid.append(out)
    icc = []
    for v in f['icc']:
        v20 = map34to20(v) if len(v) == 34 else v if len(v) == 20 else [x for x in v for _ in (0, 1)]
        icc.append(v20)
    f.update(iid=iid, icc=icc, iid_fine=True, n_iid=10 if f['n_iid'] else 0, n_icc=20 if f['n_icc'] else 0)
    return f


def encode_ps_baseline(f, books, ds=None):
    """Baseline ps_data for frame f; with a DeltaState, envelopes whose predecessor has the
    same resolution (and quantisation) are coded as time deltas, the others in frequency."""
    out = '1'  # header in every frame
    iid_res = 0 if f['n_iid'] == 10 else 1
    icc_res = 0 if f['n_icc'] == 10 else 1
    out += field(f['enable_iid'], 1)
    if f['enable_iid']:
        out += field(iid_res + (3 if f['iid_fine'] else 0), 3)
    out += field(f['enable_icc'], 1)
    if f['enable_icc']:
        out += field(icc_res, 3)
    out += '0'  # no extension
    out += field(f['frame_class'], 1) + field(f['code'], 2)
    for b in f['borders']:
        out += field(b, 5)
    iid_sets = [map34to20(v) if len(v) == 34 else v for v in f['iid']]
    icc_sets = [map34to20(v) if len(v) == 34 else v for v in f['icc']]
    for vals in iid_sets:
        key = (len(vals), f['iid_fine'])
        prev = ds and ds.iid and ds.iid[0][1] == key[1] and resample(ds.iid[1], len(vals), ds.across)
        use_dt = bool(prev)
        out += code_set(vals, prev, books.iid(f['iid_fine'], use_dt)[1], use_dt)
        if ds is not None:
            ds.iid = (key, vals)
    for vals in icc_sets:
        prev = ds and ds.icc and resample(ds.icc[1], len(vals), ds.across)
        use_dt = bool(prev)
        out += code_set(vals, prev, books.icc(use_dt)[1], use_dt)
        if ds is not None:
            ds.icc = (len(vals), vals)
    if ds is not None:
        # Disabled parameters and frames without envelopes: start afresh with frequency deltas.
        if not f['enable_iid'] or not f['num_env']:
            ds.iid = None
        if not f['enable_icc'] or not f['num_env']:
            ds.icc = None
    return out


def encode_ps_same(f, books):
    """The frame as it was sent (for --check)."""
    st_header = f['header']
    out = field(st_header, 1)
    if st_header:
        out += field(f['enable_iid'], 1)
        if f['enable_iid']:
            out += field(f['iid_mode'], 3)
        out += field(f['enable_icc'], 1)
        if f['enable_icc']:
            out += field(f['icc_mode'], 3)
        out += field(f['enable_ext'], 1)
    out += field(f['frame_class'], 1) + field(f['code'], 2)
    for b in f['borders']:
        out += field(b, 5)
    for dt, deltas in f['iid_dt']:
        book = books.iid(f['iid_fine'], dt)[1]
        out += field(dt, 1) + ''.join(book[d] for d in deltas)
    for dt, deltas in f['icc_dt']:
        book = books.icc(dt)[1]
        out += field(dt, 1) + ''.join(book[d] for d in deltas)
    return out + f['ext_bits']


def fil_candidates(bits, end):
    """Fill elements that end exactly at bit `end`: (start, payload start, count)."""
    for cnt in range(0, 300):
        pstart = end - 8 * cnt
        fil = pstart - (7 if cnt < 15 else 15)
        if fil < 0:
            break
        if bits[fil:fil + 3] != '110':
            continue
        c = int(bits[fil + 3:fil + 7], 2)
        if (cnt < 15 and c != cnt) or (cnt >= 15 and (c != 15 or int(bits[fil + 7:fil + 15], 2) != cnt - 14)):
            continue
        yield fil, pstart, cnt


def sbr_ends(bits, end, depth=0):
    """Positions where the SBR fill element may end: before END, or before trailing zero fillers."""
    yield end
    if depth < 3:
        for fil, pstart, cnt in fil_candidates(bits, end):
            if '1' not in bits[pstart:end]:
                yield from sbr_ends(bits, fil, depth + 1)


def locate(bits, books, st_snapshot):
    """Every position that fits: fill element, extended data and a ps_data that parses."""
    import copy
    total = len(bits)
    found = []
    for pad in range(8):
        end_pos = total - pad - 3
        if end_pos < 0 or bits[end_pos:end_pos + 3] != '111' or '1' in bits[end_pos + 3:]:
            continue
        for sbr_end in set(sbr_ends(bits, end_pos)):
            for fil, pstart, cnt in fil_candidates(bits, sbr_end):
                if cnt == 0 or bits[pstart:pstart + 4] != '1101':
                    continue
                # extended data: flag, size, id 2, ps_data, < 8 fill bits; then < 8 payload fill bits
                for ext in range(pstart + 4, sbr_end):
                    if bits[ext] != '1':
                        continue
                    size = int(bits[ext + 1:ext + 5], 2)
                    p = ext + 5
                    if size == 15:
                        size += int(bits[ext + 5:ext + 13], 2)
                        p = ext + 13
                    ext_end = p + 8 * size
                    if size == 0 or ext_end > sbr_end or sbr_end - ext_end >= 8:
                        continue
                    if bits[p:p + 2] != '10':
                        continue
                    st = copy.deepcopy(st_snapshot)
                    r = Reader(bits, p + 2, ext_end)
                    try:
                        frame = parse_ps(r, books, st)
                    except (EOFError, ValueError):
                        continue
                    if ext_end - r.pos >= 8:
                        continue
                    found.append(dict(fil=fil, pstart=pstart, sbr_end=sbr_end, end_pos=end_pos, ext=ext, ps=p + 2,
                                      ps_end=r.pos, ext_end=ext_end, frame=frame, state=st))
    return found


def rebuild(bits, loc, ps_bits):
    if ps_bits is None:
        ext = '0'  # no extended data at all
    else:
        ext_bits_len = 2 + len(ps_bits)
        size = (ext_bits_len + 7) // 8
        ext = '1' + (field(size, 4) if size < 15 else '1111' + field(size - 15, 8))
        ext += '10' + ps_bits + '0' * (8 * size - ext_bits_len)
    sbr = bits[loc['pstart'] + 4:loc['ext']] + ext
    cnt = (4 + len(sbr) + 7) // 8
    payload = '1101' + sbr + '0' * (8 * cnt - 4 - len(sbr))
    fil = '110' + (field(cnt, 4) if cnt < 15 else '1111' + field(cnt - 14, 8))
    frame = bits[:loc['fil']] + fil + payload + bits[loc['sbr_end']:loc['end_pos']] + '111'
    frame += '0' * (-len(frame) % 8)
    return frame


def set_frame_length(frame_bits):
    n = len(frame_bits) // 8
    return frame_bits[:30] + field(n, 13) + frame_bits[43:]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('input')
    ap.add_argument('output')
    ap.add_argument('--tables', default=os.path.join(os.environ.get('ZYM_SHARED_DIR', '/work/shared'), 'tables', 'aac'))
    ap.add_argument('--check', action='store_true')
    ap.add_argument('--reshape', action='store_true',
                    help='IID in 10 bands, fine quantisation; ICC in 20 bands')
    ap.add_argument('--across', action='store_true',
                    help='with --time-deltas: also across a change between 10 and 20 bands')
    ap.add_argument('--time-deltas', action='store_true',
                    help='code envelopes as time deltas where the previous one has the same resolution')
    ap.add_argument('--strip-ps', default='', help='FIRST:LAST frames (inclusive) sent without any PS data')
    a = ap.parse_args()
    books = Books(a.tables)
    steps = load_iid_steps(a.tables)
    data = open(a.input, 'rb').read()
    pos = 0
    frames = []
    while pos + 7 <= len(data):
        if data[pos] != 0xFF or (data[pos + 1] & 0xF6) != 0xF0:
            sys.exit('no ADTS sync at %d' % pos)
        if not data[pos + 1] & 1 or data[pos + 6] & 3:
            sys.exit('frames with CRC or several raw data blocks are not handled')
        length = ((data[pos + 3] & 3) << 11) | (data[pos + 4] << 3) | (data[pos + 5] >> 5)
        frames.append(data[pos:pos + length])
        pos += length
    st = PsState()
    ds = DeltaState(a.across) if a.time_deltas else None
    out = []
    stats = dict(rewritten=0, untouched=0, ambiguous=0, ext=0, b34=0, b10=0, b20=0)
    for i, fr in enumerate(frames):
        bits = to_bits(fr)
        locs = locate(bits, books, st)
        if len(locs) != 1:
            stats['untouched' if not locs else 'ambiguous'] += 1
            if locs:
                print('frame %d: %d candidate positions, left untouched' % (i, len(locs)), file=sys.stderr)
            out.append(fr)
            continue
        loc = locs[0]
        st = loc['state']
        f = loc['frame']
        stats['ext'] += f['enable_ext']
        for n in (f['n_iid'], f['n_icc']):
            if n:
                stats['b%d' % n] += 1
        if a.reshape:
            f = reshape(f, steps)
        ps_bits = encode_ps_same(f, books) if a.check else encode_ps_baseline(f, books, ds)
        if a.strip_ps:
            first, last = (int(v) for v in a.strip_ps.split(':'))
            if first <= i <= last:
                ps_bits = None
        if a.check:
            assert ps_bits == bits[loc['ps']:loc['ps_end']], 'frame %d: PS re-encode differs' % i
            new = rebuild(bits, loc, ps_bits)
            assert new == bits, 'frame %d: frame rebuild differs' % i
        new = set_frame_length(rebuild(bits, loc, ps_bits))
        out.append(from_bits(new))
        stats['rewritten'] += 1
    with open(a.output, 'wb') as f:
        f.write(b''.join(out))
    print('%s: %d frames; %s; time deltas across a resolution change: %d' %
          (os.path.basename(a.output), len(out), stats, st.dt_across_modes), file=sys.stderr)


if __name__ == '__main__':
    main()
