#!/usr/bin/python3
"""Checks trvgw's /v1/openapi.json against a running gateway (with --sim):
the document's structure, every $ref, every schema as JSON Schema 2020-12,
and real answers of the gateway against the schemas the document gives
them. Usage: trvgw_openapi_check.py http://127.0.0.1:PORT"""

import json
import re
import sys
import urllib.error
import urllib.request

import jsonschema

BASE = sys.argv[1]
failures = []


def fail(msg):
    failures.append(msg)
    print('FAIL: ' + msg)


def call(method, path, body=None, headers=None):
    data = json.dumps(body).encode() if body is not None else None
    req = urllib.request.Request(BASE + path, data=data, method=method, headers=headers or {})
    if data is not None:
        req.add_header('Content-Type', 'application/json')
    try:
        with urllib.request.urlopen(req, timeout=30) as r:
            return r.status, r.headers.get('Content-Type', ''), json.loads(r.read() or b'null')
    except urllib.error.HTTPError as e:
        return e.code, e.headers.get('Content-Type', ''), json.loads(e.read() or b'null')


status, _, doc = call('GET', '/v1/openapi.json')
if status != 200:
    sys.exit('no description: %d' % status)
schemas = doc.get('components', {}).get('schemas', {})

# ---- the document's structure
if not re.match(r'^3\.1\.\d+$', doc.get('openapi', '')):
    fail('openapi is not 3.1.x')
for k in ('title', 'version'):
    if not doc.get('info', {}).get(k):
        fail('info.%s missing' % k)
if doc.get('components', {}).get('securitySchemes', {}).get('bearer', {}).get('scheme') != 'bearer':
    fail('no bearer security scheme')

op_ids = set()
METHODS = {'get', 'put', 'post', 'delete', 'patch', 'options', 'head'}


def walk_refs(node, where):
    if isinstance(node, dict):
        ref = node.get('$ref')
        if ref is not None:
            m = re.match(r'^#/components/schemas/(.+)$', ref)
            if not m or m.group(1) not in schemas:
                fail('%s: $ref %s does not resolve' % (where, ref))
        for k, v in node.items():
            walk_refs(v, where)
    elif isinstance(node, list):
        for v in node:
            walk_refs(v, where)


for path, item in doc.get('paths', {}).items():
    if not path.startswith('/v1/'):
        fail('%s: not under /v1/' % path)
    for method, op in item.items():
        where = '%s %s' % (method.upper(), path)
        if method not in METHODS:
            fail('%s: unknown method' % where)
            continue
        oid = op.get('operationId')
        if not oid or oid in op_ids:
            fail('%s: operationId missing or repeated' % where)
        op_ids.add(oid)
        responses = op.get('responses', {})
        if not any(re.match(r'^2\d\d$', s) for s in responses):
            fail('%s: no success response' % where)
        if responses.get('default', {}).get('content', {}).get('application/problem+json', {}).get('schema') != {
                '$ref': '#/components/schemas/Problem'}:
            fail('%s: problems are not described' % where)
        for s, r in responses.items():
            if 'description' not in r:
                fail('%s %s: no description' % (where, s))
        declared = {p['name'] for p in op.get('parameters', []) if p.get('in') == 'path'}
        for name in re.findall(r'\{([^}]+)\}', path):
            if name not in declared:
                fail('%s: path parameter %s not declared' % (where, name))
        for p in op.get('parameters', []):
            if p.get('in') not in ('path', 'query', 'header', 'cookie') or 'schema' not in p:
                fail('%s: bad parameter %s' % (where, p.get('name')))
            if p.get('in') == 'path' and p.get('required') is not True:
                fail('%s: path parameter %s not required' % (where, p.get('name')))
        walk_refs(op, where)

# ---- every schema is JSON Schema 2020-12
validator_cls = jsonschema.Draft202012Validator
for name, s in schemas.items():
    try:
        validator_cls.check_schema(s)
    except jsonschema.exceptions.SchemaError as e:
        fail('schema %s: %s' % (name, e.message))
    walk_refs(s, 'schema ' + name)


def resolved(node):
    """The schema with every $ref replaced by its target (no cycles here)."""
    if isinstance(node, dict):
        if '$ref' in node:
            return resolved(schemas[node['$ref'].split('/')[-1]])
        return {k: resolved(v) for k, v in node.items()}
    if isinstance(node, list):
        return [resolved(v) for v in node]
    return node


def check(path, got, schema_name, method='get', status='200'):
    """The answer against the schema its operation documents."""
    op = doc['paths'].get(path, {}).get(method)
    if op is None:
        fail('%s %s is served but not described' % (method.upper(), path))
        return
    if schema_name is not None:
        documented = op['responses'].get(status, {}).get('content', {}).get('application/json', {}).get('schema')
        if documented != {'$ref': '#/components/schemas/' + schema_name}:
            fail('%s %s %s: documented as %s, not %s' % (method.upper(), path, status, documented, schema_name))
    schema = resolved({'$ref': '#/components/schemas/' + schema_name}) if schema_name else None
    if schema is not None:
        try:
            jsonschema.validate(got, schema, cls=validator_cls)
        except jsonschema.ValidationError as e:
            fail('%s %s: answer does not match %s: %s' % (method.upper(), path, schema_name, e.message))


# ---- real answers
s, _, h = call('GET', '/v1/health')
check('/v1/health', h, 'Health')
s, _, regs = call('GET', '/v1/registers')
check('/v1/registers', regs, 'RegisterList')
s, _, r = call('GET', '/v1/registers/sim1')
check('/v1/registers/{reg}', r, 'Register')
s, _, cmds = call('GET', '/v1/commands')
check('/v1/commands', cmds, 'CommandList')
s, _, c = call('GET', '/v1/commands/TRVS_PLURead')
check('/v1/commands/{name}', c, 'Command')
s, _, a = call('GET', '/v1/registers/sim1/articles/1')
check('/v1/registers/{reg}/articles/{key}', a, 'TRVG_PLURead.result')
s, _, st = call('GET', '/v1/registers/sim1/status')
check('/v1/registers/{reg}/status', st, 'TRVG_CashRegStatusGet.result')
s, _, fm = call('GET', '/v1/registers/sim1/fiscal-memory')
check('/v1/registers/{reg}/fiscal-memory', fm, 'TRVG_FiscMemStatus.result')
s, _, job = call('POST', '/v1/jobs', {'register': 'sim1', 'command': 'TRVS_PLURead',
                                      'args': {'numer_rekordu': 1, 'z_kodem': 1}},
                 {'Idempotency-Key': 'openapi-1', 'Prefer': 'wait=10'})
check('/v1/jobs', job, 'Job', 'post', str(s))
s, _, got = call('GET', '/v1/jobs/' + job['id'])
check('/v1/jobs/{id}', got, 'Job')
# A job's result is described by the reader's schema.
try:
    jsonschema.validate(got['result'], resolved(schemas['TRVG_PLURead.result']), cls=validator_cls)
except jsonschema.ValidationError as e:
    fail('a job result does not match TRVG_PLURead.result: ' + e.message)
s, _, put = call('PUT', '/v1/registers/sim1/articles/77', {
    'nazwa': 'OPENAPI', 'barcode': '', 'cena': '100', 'ilosc_min': '0', 'numer_opakowania': 0, 'numer_MU': 1,
    'numer_rabatu': 0, 'numer_grupy': 1, 'numer_VAT': 1, 'format_ilosci': 0, 'cena_sztywna': 0, 'czy_rabat': 0,
    'czy_notatnik': 0}, {'Idempotency-Key': 'openapi-2', 'Prefer': 'wait=10'})
check('/v1/registers/{reg}/articles/{key}', put, 'Job', 'put', str(s))
s, _, lst = call('GET', '/v1/jobs?limit=5')
check('/v1/jobs', lst, 'JobList')
s, _, col = call('POST', '/v1/registers/sim1/journal/collect')
s, _, page = call('GET', '/v1/journal?limit=3')
check('/v1/journal', page, 'JournalPage')
s, _, imp = call('POST', '/v1/registers/sim1/tables/groups/import',
                 {'records': [{'key': 3, 'nazwa': 'G3'}, {'key': 'x'}]},
                 {'Idempotency-Key': 'openapi-3', 'Prefer': 'wait=10'})
check('/v1/registers/{reg}/tables/{table}/import', imp, 'ImportResult', 'post')
# Problems, whatever the route.
for method, path, body in (('GET', '/v1/registers/nope', None), ('GET', '/v1/jobs/j0', None),
                           ('POST', '/v1/jobs', {'register': 'sim1', 'command': 'TRVS_PLURead', 'args': {}}),
                           ('GET', '/v1/no/such/thing', None)):
    s, ctype, p = call(method, path, body, {'Idempotency-Key': 'openapi-p'})
    if not ctype.startswith('application/problem+json'):
        fail('%s %s: a problem as %s' % (method, path, ctype))
    try:
        jsonschema.validate(p, resolved(schemas['Problem']), cls=validator_cls)
    except jsonschema.ValidationError as e:
        fail('%s %s: problem does not match: %s' % (method, path, e.message))
    if p.get('status') != s:
        fail('%s %s: problem status %s, HTTP %s' % (method, path, p.get('status'), s))

# Every documented GET without parameters is served.
for path, item in doc['paths'].items():
    if 'get' in item and '{' not in path and path != '/v1/events':
        s, _, _ = call('GET', path)
        if s in (404, 405):
            fail('GET %s is described but not served (%d)' % (path, s))

print('%d paths, %d schemas, %d failures' % (len(doc['paths']), len(schemas), len(failures)))
sys.exit(1 if failures else 0)
