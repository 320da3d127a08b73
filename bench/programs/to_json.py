# to-json: a 20 MB document of 100000 records loaded, then written back
import json
record = '{"id": 4711, "name": "Smith \\"J\\" \\u00e9", "score": -12.5e-1, "tags": ["a", "b c", "d\\/e"], "ok": true, "none": null, "pos": {"x": 1, "y": 2.25}, "note": "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor"}'
text = "[" + ",\n".join([record] * 100000) + "]"
out = json.dumps(json.loads(text), ensure_ascii=False, separators=(",", ":"))
print(len(out))
