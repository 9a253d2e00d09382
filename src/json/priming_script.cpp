#include "json/json_object.h"

namespace tavolen {

namespace {

// Three parts, in this order:
//  1. get__count: counts what for-in visits, less the two members that part 3 adds to every
//     object (which is why it starts at -2).
//  2. A JSON polyfill for engines that lack JSON: the two-digit helper, Date/String/Number/
//     Boolean toJSON, the escape patterns and substitution table, quoting and printing,
//     JSON.stringify(value, replacer, space) and JSON.parse(text, reviver). Each definition is
//     guarded, so an engine with native JSON keeps it untouched.
//  3. Inside the polyfill's function, last: Object.prototype.toJSONString and parseJSON.
constexpr std::string_view priming_script =
    R"js(function get__count(c){var i=-2;for(v in c)i++;return i}
if(typeof JSON!=='object'){JSON={}}
(function(){'use strict';)js"
    R"js(var rx_tokens=/^[\],:{}\s]*$/,rx_escapes=/\\(?:["\\\/bfnrt]|u[0-9a-fA-F]{4})/g,)js"
    R"js(rx_values=/"[^"\\\n\r]*"|true|false|null|-?\d+(?:\.\d*)?(?:[eE][+\-]?\d+)?/g,)js"
    R"js(rx_opens=/(?:^|:|,)(?:\s*\[)+/g,)js"
    R"js(rx_escapable=/[\\"\u0000-\u001f\u007f-\u009f\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g,)js"
    R"js(rx_unsafe=/[\u0000\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g,)js"
    R"js(gap,indent,meta,rep;)js"
    R"js(function two(n){return n<10?'0'+n:n})js"
    R"js(function own(){return this.valueOf()})js"
    R"js(function hex4(a){return'\\u'+('0000'+a.charCodeAt(0).toString(16)).slice(-4)})js"
    R"js(if(typeof Date.prototype.toJSON!=='function'){Date.prototype.toJSON=function(){)js"
    R"js(return isFinite(this.valueOf())?this.getUTCFullYear()+'-'+two(this.getUTCMonth()+1)+'-')js"
    R"js(+two(this.getUTCDate())+'T'+two(this.getUTCHours())+':'+two(this.getUTCMinutes())+':')js"
    R"js(+two(this.getUTCSeconds())+'Z':null};)js"
    R"js(Boolean.prototype.toJSON=own;Number.prototype.toJSON=own;String.prototype.toJSON=own})js"
    R"js(function quote(s){rx_escapable.lastIndex=0;return rx_escapable.test(s)?'"')js"
    R"js(+s.replace(rx_escapable,function(a){var c=meta[a];return typeof c==='string'?c:hex4(a)}))js"
    R"js(+'"':'"'+s+'"'})js"
    R"js(function str(key,holder){var i,k,v,n,outer=gap,parts,value=holder[key];)js"
    R"js(if(value&&typeof value==='object'&&typeof value.toJSON==='function'){value=value.toJSON(key)})js"
    R"js(if(typeof rep==='function'){value=rep.call(holder,key,value)})js"
    R"js(switch(typeof value){case'string':return quote(value);)js"
    R"js(case'number':return isFinite(value)?String(value):'null';)js"
    R"js(case'boolean':case'null':return String(value);)js"
    R"js(case'object':if(!value){return'null'}gap+=indent;parts=[];)js"
    R"js(if(Object.prototype.toString.apply(value)==='[object Array]'){n=value.length;)js"
    R"js(for(i=0;i<n;i+=1){parts[i]=str(i,value)||'null'})js"
    R"js(v=parts.length===0?'[]':gap?'[\n'+gap+parts.join(',\n'+gap)+'\n'+outer+']':'['+parts.join(',')+']';)js"
    R"js(gap=outer;return v})js"
    R"js(if(rep&&typeof rep==='object'){n=rep.length;for(i=0;i<n;i+=1){if(typeof rep[i]==='string'){)js"
    R"js(k=rep[i];v=str(k,value);if(v){parts.push(quote(k)+(gap?': ':':')+v)}}}})js"
    R"js(else{for(k in value){if(Object.prototype.hasOwnProperty.call(value,k)){v=str(k,value);)js"
    R"js(if(v){parts.push(quote(k)+(gap?': ':':')+v)}}}})js"
    R"js(v=parts.length===0?'{}':gap?'{\n'+gap+parts.join(',\n'+gap)+'\n'+outer+'}':'{'+parts.join(',')+'}';)js"
    R"js(gap=outer;return v}})js"
    R"js(if(typeof JSON.stringify!=='function'){)js"
    R"js(meta={'\b':'\\b','\t':'\\t','\n':'\\n','\f':'\\f','\r':'\\r','"':'\\"','\\':'\\\\'};)js"
    R"js(JSON.stringify=function(value,replacer,space){var i;gap='';indent='';)js"
    R"js(if(typeof space==='number'){for(i=0;i<space;i+=1){indent+=' '}})js"
    R"js(else if(typeof space==='string'){indent=space}rep=replacer;)js"
    R"js(if(replacer&&typeof replacer!=='function'&&(typeof replacer!=='object'||typeof replacer.length!=='number')))js"
    R"js({throw new Error('JSON.stringify')}return str('',{'':value})}})js"
    R"js(if(typeof JSON.parse!=='function'){JSON.parse=function(text,reviver){var j;)js"
    R"js(function walk(holder,key){var k,v,value=holder[key];if(value&&typeof value==='object'){)js"
    R"js(for(k in value){if(Object.prototype.hasOwnProperty.call(value,k)){v=walk(value,k);)js"
    R"js(if(v!==undefined){value[k]=v}else{delete value[k]}}}}return reviver.call(holder,key,value)})js"
    R"js(text=String(text);rx_unsafe.lastIndex=0;if(rx_unsafe.test(text)){text=text.replace(rx_unsafe,hex4)})js"
    R"js(if(rx_tokens.test(text.replace(rx_escapes,'@').replace(rx_values,']').replace(rx_opens,''))){)js"
    R"js(j=eval('('+text+')');return typeof reviver==='function'?walk({'':j},''):j})js"
    R"js(throw new SyntaxError('JSON.parse')}})js"
    R"js(if(!Object.prototype.toJSONString){Object.prototype.toJSONString=function(filter){)js"
    R"js(return JSON.stringify(this,filter)};Object.prototype.parseJSON=function(filter){)js"
    R"js(return JSON.parse(this,filter)}}}());)js";

}  // namespace

std::string_view json_priming_script() {
    return priming_script;
}

}  // namespace tavolen
