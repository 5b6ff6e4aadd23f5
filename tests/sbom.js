// usage: node sbom.js file.cdx.json
// Checks a CycloneDX SBOM against the official schema, with the CycloneDX
// project's own library, and prints each component it names, nested ones
// too: "name sha256" for one with a hash, else "name version".
'use strict';
const fs = require('fs');

async function main(args) {
	const text = fs.readFileSync(args[0], 'utf8');
	const { Validation } = require('@cyclonedx/cyclonedx-library');
	const validator = new Validation.JsonStrictValidator(JSON.parse(text).specVersion);
	const errors = await validator.validate(text);
	if (errors) {
		console.error(JSON.stringify(errors, null, 2));
		return 1;
	}
	const walk = (components) => {
		for (const c of components || []) {
			const hash = (c.hashes || []).find((h) => h.alg === 'SHA-256');
			console.log(`${c.name} ${hash ? hash.content : c.version || ''}`);
			walk(c.components);
		}
	};
	walk(JSON.parse(text).components);
	return 0;
}

main(process.argv.slice(2)).then((status) => process.exit(status), (e) => {
	console.error(e.message);
	process.exit(1);
});
