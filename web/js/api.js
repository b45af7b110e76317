// The HTTP API client. Request values always travel in JSON POST bodies
// with the content type exactly "application/json" (the server does not
// percent-decode query strings). The API key lives in sessionStorage only,
// so it is forgotten with the tab, and goes out as a bearer token.

const KEY_SLOT = 'halvex.apiKey';

export class ApiError extends Error {
  constructor(message, status, body) {
    super(message);
    this.status = status;
    this.body = body;
  }
}

export function apiKey() {
  return sessionStorage.getItem(KEY_SLOT) || '';
}

export function setApiKey(key) {
  if (key) sessionStorage.setItem(KEY_SLOT, key);
  else sessionStorage.removeItem(KEY_SLOT);
}

function headers(json) {
  const out = {};
  if (json) out['Content-Type'] = 'application/json';
  const key = apiKey();
  if (key) out.Authorization = `Bearer ${key}`;
  return out;
}

async function decode(response) {
  const text = await response.text();
  let body = null;
  try {
    body = JSON.parse(text);
  } catch {
    body = null;
  }
  if (!response.ok) {
    const message = body && typeof body.error === 'string' && body.error ? body.error : `HTTP ${response.status}`;
    throw new ApiError(message, response.status, body);
  }
  if (body === null) throw new ApiError('the server answered with a body that is not JSON', response.status, null);
  return body;
}

async function send(path, init) {
  let response;
  try {
    response = await fetch(path, { cache: 'no-store', credentials: 'same-origin', ...init });
  } catch (error) {
    throw new ApiError(`cannot reach the server (${error.message})`, 0, null);
  }
  return response;
}

export async function getJson(path) {
  return decode(await send(path, { headers: headers(false) }));
}

export async function getText(path) {
  const response = await send(path, { headers: headers(false) });
  const text = await response.text();
  if (!response.ok) {
    let message = `HTTP ${response.status}`;
    try {
      message = JSON.parse(text).error || message;
    } catch {
      /* not JSON: keep the status */
    }
    throw new ApiError(message, response.status, null);
  }
  return text;
}

export async function postJson(path, body) {
  return decode(await send(path, { method: 'POST', headers: headers(true), body: JSON.stringify(body) }));
}

// Runs one console statement. A statement that failed comes back as its
// console result (ok false, error set); transport and check failures
// (401, 403, 415, unreachable server) throw ApiError.
export async function runStatement(query) {
  try {
    return await postJson('/v1/query', { query });
  } catch (error) {
    if (error instanceof ApiError && error.body && typeof error.body === 'object' && 'kind' in error.body) {
      return error.body;
    }
    throw error;
  }
}

// A parsed console result's document (the `data` member), or null.
export function documentOf(result) {
  return result && typeof result.data === 'object' && result.data !== null ? result.data : null;
}
