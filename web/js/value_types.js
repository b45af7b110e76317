// Cypher type names of JSON answer values, as the inspector shows them.
// Answers carry integers and floats alike as JSON numbers; a whole number
// reads as Integer (a float such as 2.0 is indistinguishable from 2 once
// parsed). Values JSON cannot hold arrive as {"$type": T, "_value": ...},
// and read as T.

export function cypherType(value) {
  if (value === null || value === undefined) return 'Null';
  if (typeof value === 'boolean') return 'Boolean';
  if (typeof value === 'number') return Number.isInteger(value) ? 'Integer' : 'Float';
  if (typeof value === 'string') return 'String';
  if (Array.isArray(value)) {
    const inner = [...new Set(value.map(cypherType))];
    return inner.length === 1 ? `List<${inner[0]}>` : 'List';
  }
  if (typeof value === 'object' && typeof value.$type === 'string') return value.$type;
  return 'Map';
}

// The text a value shows as: strings as themselves, typed values by their
// `_value`, anything else as compact JSON.
export function valueText(value) {
  if (typeof value === 'string') return value;
  if (value && typeof value === 'object' && typeof value.$type === 'string' && '_value' in value) {
    return typeof value._value === 'string' ? value._value : JSON.stringify(value._value);
  }
  return JSON.stringify(value);
}
